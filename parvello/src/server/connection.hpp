#pragma once
// One accepted connection, served as HTTP/1.x until it closes or is taken over.
#include <memory>

#include <boost/asio/ip/tcp.hpp>

#include "server/router.hpp"

namespace parvello {

asio::awaitable<void> serve_connection(asio::ip::tcp::socket socket, std::shared_ptr<const Router> router);

}  // namespace parvello
