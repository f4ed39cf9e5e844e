#pragma once
// One job of a WebSocket connection, from the wait for the job lock to the release.
#include <boost/asio/awaitable.hpp>

#include "parvello/request.hpp"
#include "server/http.hpp"
#include "server/ws_stream.hpp"

namespace parvello {

// Waits for `job_lock`, runs the job on the blocking pool and sends each of its events as it
// comes, then the final event (`ws_final_event`). Nothing is read from the connection
// meanwhile. A failed send stops the forwarding of this job's events, never the job: the
// job runs to its end, and the lock is held until the worker has returned and the final
// event has been attempted.
boost::asio::awaitable<void> run_ws_job(WsStream& ws, const HandlerContext& context, JobEnvelope envelope);

}  // namespace parvello
