#include "server/ws.hpp"

#include <string>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/use_awaitable.hpp>

namespace parvello {

namespace {
constexpr auto kTuple = boost::asio::as_tuple(boost::asio::use_awaitable);
}  // namespace

boost::asio::awaitable<bool> send_ws_event(WsStream& ws, const JobEvent& event) {
    const std::string text = event.serialize();
    ws.text(true);
    auto [error, written] = co_await ws.async_write(boost::asio::buffer(text), kTuple);
    co_return !error;
}

}  // namespace parvello
