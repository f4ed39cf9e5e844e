#pragma once
// The WebSocket job channel: the upgrade of GET /ws, the connection task that reads job
// messages, each job with its events as they come, and the last event of a job.
#include <chrono>
#include <cstddef>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/experimental/concurrent_channel.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <boost/system/error_code.hpp>

#include "job/job.hpp"
#include "job/job_channel.hpp"
#include "job/job_event.hpp"
#include "parvello/request.hpp"
#include "server/http.hpp"
#include "server/routes.hpp"

namespace parvello {

// The stream: server side, over the connection's TCP stream.
using WsStream = boost::beast::websocket::stream<boost::beast::tcp_stream>;

// A larger message ends the connection. Beast has no limit of its own for single frames:
// a frame is refused only when it alone would take its message over this limit.
inline constexpr std::size_t kWsMessageLimit = 64 * 1024 * 1024;

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
// Gives the client's key when every check passes.
std::expected<std::string, ErrorReply> check_ws_upgrade(const http::request_header<>& header);

// The Sec-WebSocket-Accept value for a client's key: base64 of the SHA-1 of the key followed
// by the WebSocket GUID.
std::string ws_accept_value(std::string_view key);

// The route: an upgrade that passes the checks, from a page of a trusted origin or from a
// client that sends no Origin, is answered 101 and its connection served as the job channel.
// A page of any other origin is refused with 403 "origin not allowed": browsers let every
// page open a WebSocket to any address, and the agent's CORS headers do not apply to one.
asio::awaitable<Response> ws_upgrade(Request& request, HandlerContext context);

// The connection task: one per upgraded connection, reading job messages and running them one
// after another. Takes over a connection whose upgrade was accepted: writes `answer` (the 101 with every
// layer's headers) as the handshake, then serves the WebSocket on a task of its own. A
// failed handshake ends the task without a trace.
void start_ws_connection(Connection connection, HttpResponse answer, HandlerContext context);

// Reads messages until the client closes, the stream ends or a read fails (an over-limit
// message, a message that stalls or any protocol error included). Each text message, and
// each binary one that is UTF-8, is a job; a malformed one is answered with an `error` event
// and the connection stays open. Pings are answered by the stream while it reads, so a Ping
// that arrives during a job is answered once the job is over. A connection waiting for its
// next message is never timed out (a page keeps its channel open between jobs), but may be
// closed to make room for another; a message that has begun must keep coming: a read that
// brings nothing of it for `limits.stall` closes the connection.
boost::asio::awaitable<void> serve_ws_connection(WsConnection& connection, HandlerContext context);

// One job of a connection, from the wait for the job lock to the release. Waits for
// `job_lock`, runs the job on the blocking pool and sends each of its events as it comes,
// then the final event (`ws_final_event`). Nothing is read from the connection meanwhile. A
// failed send stops the forwarding of this job's events, never the job: the job runs to its
// end, and the lock is held until the worker has returned and the final event has been
// attempted. Each send is bounded by `limits.send`, so a client that stops reading loses its
// connection and holds the lock no longer than the job itself.
boost::asio::awaitable<void> run_ws_job(WsConnection& connection, const HandlerContext& context,
                                         JobEnvelope envelope);

// The receiving end of a job's event channel for the connection task: awaits the next event
// without blocking a thread, while the worker sends from the blocking pool and never waits.
class JobEventFeed {
public:
    // The task's awaits resume on `executor`.
    explicit JobEventFeed(const boost::asio::any_io_executor& executor);

    // The channel to wrap in the job's sink; the worker closes it when it ends.
    const std::shared_ptr<JobEventChannel>& channel() const noexcept { return channel_; }

    // The oldest event not yet taken, waiting for it as needed; none once the channel is
    // closed and every event sent before the close has been taken.
    boost::asio::awaitable<std::optional<JobEvent>> next();

private:
    // Holds at most one wake-up: a send that finds one pending adds nothing, so the worker
    // never waits, and a wake-up given before the task waits is not lost.
    using WakeUp = boost::asio::experimental::concurrent_channel<void(boost::system::error_code)>;

    std::shared_ptr<WakeUp> wake_up_;
    std::shared_ptr<JobEventChannel> channel_;
};

// The last event of a job, sent once the job's worker has returned.
// `terminal_sent`: a `done` or `error` event of the job was already taken for sending.
// - Counts: `done` with them, unless a terminal event went before (the runner's own `done`).
// - A job error: always `error` with its text, even after the runner's error event, so a
//   failed delivery ends with its failure text and then the same text behind "delivery: ".
// - A failed worker: `error` "print job task failed: " and the failure.
std::optional<JobEvent> ws_final_event(const JobOutcome& outcome, bool terminal_sent);

}  // namespace parvello
