#include "server/ws.hpp"

#include <string>
#include <utility>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>

#include "pvo-util/text.hpp"

namespace parvello {

namespace {

namespace websocket = beast::websocket;

constexpr auto kTuple = asio::as_tuple(asio::use_awaitable);

// The upgrade request as Beast's accept takes it. The real request has already passed the
// agent's own checks, and its answer, Sec-WebSocket-Accept included, is `answer`, which
// replaces Beast's own (see below); this request only lets Beast switch the stream to
// WebSocket framing.
constexpr std::string_view kAcceptedUpgrade =
    "GET / HTTP/1.1\r\n"
    "Host: 127.0.0.1\r\n"
    "Connection: upgrade\r\n"
    "Upgrade: websocket\r\n"
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
    "Sec-WebSocket-Version: 13\r\n"
    "\r\n";

asio::awaitable<void> accept_and_serve(Connection connection, HttpResponse answer, HandlerContext context) {
    // Bytes the client sent behind its request belong to the WebSocket.
    std::string handshake(kAcceptedUpgrade);
    handshake += beast::buffers_to_string(connection.buffer.data());

    WsConnection upgraded{WsStream(std::move(connection.stream)), connection.limits, std::move(connection.slot)};
    WsStream& ws = upgraded.ws;
    upgraded.slot.on_shut_down([&ws] { shut_down_stream(beast::get_lowest_layer(ws)); });
    upgraded.slot.serve_websocket();
    ws.read_message_max(kWsMessageLimit);
    auto write_answer = [answer = std::move(answer)](websocket::response_type& response) { response = answer; };
    ws.set_option(websocket::stream_base::decorator(std::move(write_answer)));
    // Writing the 101 is bounded like every other send to the client.
    beast::get_lowest_layer(ws).expires_after(upgraded.limits.send);
    auto [error] = co_await ws.async_accept(asio::buffer(handshake), kTuple);
    beast::get_lowest_layer(ws).expires_never();
    if (error) co_return;
    co_await serve_ws_connection(upgraded, std::move(context));
}

// Reads one whole message into `buffer`. The wait for its start is the connection waiting on
// its client, without a time limit; once data of the message has come, each further read must
// bring more within `stall`, so a message cut off half-way cannot hold its memory.
asio::awaitable<beast::error_code> read_message(WsConnection& connection, beast::flat_buffer& buffer) {
    auto waiting = connection.slot.waiting_on_client();
    auto& tcp = beast::get_lowest_layer(connection.ws);
    for (;;) {
        auto [error, size] = co_await connection.ws.async_read_some(buffer, 0, kTuple);
        if (error || connection.ws.is_message_done()) {
            tcp.expires_never();
            co_return error;
        }
        tcp.expires_after(connection.limits.stall);
    }
}

}  // namespace

void start_ws_connection(Connection connection, HttpResponse answer, HandlerContext context) {
    const auto executor = connection.stream.get_executor();
    auto task = accept_and_serve(std::move(connection), std::move(answer), std::move(context));
    asio::co_spawn(executor, std::move(task), asio::detached);
}

// g++ 12 warns here that the coroutine frame, which Asio allocates with std::aligned_alloc, is
// released by a mismatched operator delete; that operator hands it to std::free, its match.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
asio::awaitable<void> serve_ws_connection(WsConnection& connection, HandlerContext context) {
    WsStream& ws = connection.ws;
    const auto send_limit = connection.limits.send;
    for (;;) {
        beast::flat_buffer buffer;  // a fresh one per message: a large message's memory goes with it
        if (co_await read_message(connection, buffer)) co_return;
        const std::string text = beast::buffers_to_string(buffer.data());
        // Text messages are checked by the stream itself: one that is not UTF-8 fails the read.
        if (ws.got_binary() && !pvo_util::is_valid_utf8(text)) {
            const JobEvent refusal{JobEvent::Error{"websocket binary must be UTF-8 JSON"}};
            co_await send_ws_event(ws, refusal, send_limit);
            continue;
        }
        auto envelope = read_job_envelope(text, ReadMode::WebSocketMessage);
        if (!envelope) {
            const JobEvent refusal{JobEvent::Error{"invalid job JSON: " + envelope.error().message()}};
            co_await send_ws_event(ws, refusal, send_limit);
            continue;
        }
        co_await run_ws_job(connection, context, std::move(*envelope));
    }
}
#pragma GCC diagnostic pop

}  // namespace parvello
