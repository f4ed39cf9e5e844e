#pragma once
// The connection task of the job channel: one per upgraded connection, reading job messages
// and running them one after another.
#include <boost/asio/awaitable.hpp>

#include "server/http.hpp"
#include "server/ws_stream.hpp"

namespace parvello {

// Takes over a connection whose upgrade was accepted: writes `answer` (the 101 with every
// layer's headers) as the handshake, then serves the WebSocket on a task of its own. A
// failed handshake ends the task without a trace.
void start_ws_connection(Connection connection, HttpResponse answer, HandlerContext context);

// Reads messages until the client closes, the stream ends or a read fails (an over-limit
// message or any protocol error included). Each text message, and each binary one that is
// UTF-8, is a job; a malformed one is answered with an `error` event and the connection
// stays open. Pings are answered by the stream while it reads, so a Ping that arrives during
// a job is answered once the job is over.
boost::asio::awaitable<void> serve_ws_connection(WsStream ws, HandlerContext context);

}  // namespace parvello
