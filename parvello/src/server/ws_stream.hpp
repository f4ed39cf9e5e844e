#pragma once
// The WebSocket of the job channel: a server-side stream over the connection's TCP stream,
// the limit it reads messages with, and how an event goes out on it.
#include <cstddef>

#include <boost/asio/awaitable.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/websocket/stream.hpp>

#include "job/job_event.hpp"

namespace parvello {

using WsStream = boost::beast::websocket::stream<boost::beast::tcp_stream>;

// A larger message ends the connection. Beast has no limit of its own for single frames:
// a frame is refused only when it alone would take its message over this limit.
inline constexpr std::size_t kWsMessageLimit = 64 * 1024 * 1024;

// Sends the event's JSON as one text message, written out at once; false when the send failed.
boost::asio::awaitable<bool> send_ws_event(WsStream& ws, const JobEvent& event);

}  // namespace parvello
