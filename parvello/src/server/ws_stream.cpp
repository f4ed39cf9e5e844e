#include "server/ws.hpp"
#include "server/as_tuple.hpp"

#include <string>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/use_awaitable.hpp>

namespace parvello {

namespace {}  // namespace

boost::asio::awaitable<bool> send_ws_event(WsStream& ws, const JobEvent& event, std::chrono::milliseconds limit) {
    const std::string text = event.serialize();
    ws.text(true);
    // The TCP stream's own time limit, for this write alone: when it passes, the stream closes
    // the connection and the write fails.
    auto& tcp = boost::beast::get_lowest_layer(ws);
    tcp.expires_after(limit);
    auto [error, written] = co_await ws.async_write(boost::asio::buffer(text), kTuple);
    tcp.expires_never();
    co_return !error;
}

}  // namespace parvello
