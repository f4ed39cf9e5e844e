#pragma once
// The WebSocket job channel: the upgrade of GET /ws, the connection task that reads job
// messages, each job with its events as they come, and the last event of a job.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include <boost/asio/awaitable.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <boost/system/error_code.hpp>

#include "job/run_job.hpp"
#include "job/job_event.hpp"
#include "parvello/request.hpp"
#include "server/http_connection.hpp"
#include "server/routes.hpp"
#include "server/ws_final_event.hpp"
#include "server/ws_frame_stream.hpp"

namespace parvello {

// The stream: server side, over the connection's TCP stream with its frame limit.
using WsStream = boost::beast::websocket::stream<WsFrameStream>;

// A larger message ends the connection with close code 1009 (message too big).
inline constexpr std::size_t kWsMessageLimit = 64 * 1024 * 1024;
// A larger single frame does the same as soon as its header announces it (see WsFrameStream).
inline constexpr std::uint64_t kWsFrameLimit = 16 * 1024 * 1024;

// An upgraded connection: its stream, the limits its client is held to, and its place among
// the server's open connections.
struct WsConnection {
    WsStream ws;
    ConnectionLimits limits{};
    ConnectionSlot slot{};  // last, so it is given up before the stream closes its socket
};

// Sends the event's JSON as one text message, written out at once; false when the send failed.
// A client that has not taken it within `limit` loses its connection (the send fails), so a
// page that stops reading cannot hold the agent up.
boost::asio::awaitable<bool> send_ws_event(WsStream& ws, const JobEvent& event, std::chrono::milliseconds limit);

// The upgrade. Checks an upgrade request in this order, the first failure giving the refusal:
//   405 "Request method must be `GET`" (HEAD included),
//   400 when the first Connection header is not UTF-8 or does not contain "upgrade" in any
//       letter case, when the first Upgrade header is not "websocket" in any letter case,
//       when Sec-WebSocket-Key is missing, or when the first Sec-WebSocket-Version is not 13,
//   426 when the request cannot switch protocols (only HTTP/1.1 can).
std::expected<void, ErrorReply> check_ws_upgrade(const Request& request);

// The route (`ws_upgrade`, declared with the other routes): an upgrade that passes the checks,
// from a page of a trusted origin or from a client that sends no Origin, is handed to the
// WebSocket library, which answers 101 (or refuses a handshake it cannot accept, such as a key
// that is no 16-byte nonce), and its connection is served as the job channel. A page of any
// other origin, several Origin headers, or one that is not visible ASCII, is refused with 403
// "origin not allowed": browsers let every page open a WebSocket to any address, and the
// agent's CORS headers do not apply to one.

// The connection task: one per upgraded connection, reading job messages and running them one
// after another. Takes over a connection whose upgrade was accepted: the WebSocket library
// accepts the request itself (`taken.head`), and its 101 goes out with every field of
// `layer_fields` (the layers' headers), then the WebSocket is served on a task of its own. A
// failed handshake ends the task without a trace.
void start_ws_connection(TakenConnection taken, HeaderFields layer_fields, HandlerContext context);

// Reads messages until the client closes, the stream ends or a read fails (an over-limit
// message, a message that stalls or any protocol error included). Each text message, and
// each binary one that is UTF-8, is a job; a malformed one is answered with an `error` event
// and the connection stays open. Pings are answered by the stream while it reads, so a Ping
// that arrives during a job is answered once the job is over. A connection waiting for its
// next message is never timed out (a page keeps its channel open between jobs), but may be
// closed to make room for another; a message that has begun must keep coming: a read that
// brings nothing of it for `limits.stall` closes the connection.
boost::asio::awaitable<void> serve_ws_connection(WsConnection& connection, HandlerContext context);

// One job of a connection. Waits for `job_lock` and runs the job on the device thread
// exactly as POST /print does, sending each of its events as it comes, then the final event
// (`ws_final_event`). Nothing is read from the connection meanwhile. The lock passes on when
// the job's worker returns: events still owed to a slow client are sent after that, never
// under the lock. A failed send stops the forwarding of this job's events, never the job.
// Each send is bounded by `limits.send`, so a client that stops reading loses its connection.
boost::asio::awaitable<void> run_ws_job(WsConnection& connection, const HandlerContext& context, JobEnvelope envelope);

}  // namespace parvello
