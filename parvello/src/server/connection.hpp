#pragma once
// One accepted connection, served as HTTP/1.x until it closes or is taken over.
#include <memory>

#include <boost/asio/ip/tcp.hpp>

#include "server/http_connection.hpp"
#include "server/router.hpp"

namespace parvello {

// Each wait on the client is bounded by the connection's limits: the first byte of a request
// (`idle`), the rest of its head (`head`), a body that stops coming (`stall`, where the route
// reads it) and the answer (`send`). A head over `max_head_bytes` is answered 431, then the
// connection is closed.
asio::awaitable<void> serve_connection(Connection connection, std::shared_ptr<const Router> router);

// A connection outside any registry, held to the default limits.
asio::awaitable<void> serve_connection(asio::ip::tcp::socket socket, std::shared_ptr<const Router> router);

}  // namespace parvello
