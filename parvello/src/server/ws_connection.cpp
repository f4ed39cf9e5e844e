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
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/write.hpp>

#include "pvo-util/text.hpp"
#include "server/as_tuple.hpp"

namespace parvello {

namespace {

namespace websocket = beast::websocket;

// Puts the layers' headers (CORS, version) on the WebSocket library's answer to the upgrade;
// a refusal of its own is plain text like every other refusal of the agent.
auto with_headers_of(HeaderFields fields) {
    return [fields = std::move(fields)](websocket::response_type& response) {
        for (const auto& field : fields) response.set(field.name, field.value);
        if (response.result() != http::status::switching_protocols) {
            response.set(http::field::content_type, "text/plain; charset=utf-8");
        }
    };
}

// Sends what the WebSocket library wrote while it accepted the upgrade (kept by the stream),
// without the Server header that it adds to every answer and that no other answer of the
// agent carries. Bounded like every other send to the client.
asio::awaitable<bool> send_kept_answer(WsFrameStream& frames, std::chrono::milliseconds limit) {
    const std::string kept = frames.take_kept();
    auto& tcp = frames.next_layer();
    std::size_t at = 0;
    while (at < kept.size()) {
        http::response_parser<http::string_body> parser;
        parser.eager(true);
        beast::error_code error;
        at += parser.put(asio::buffer(kept.data() + at, kept.size() - at), error);
        if (error || !parser.is_done()) co_return false;
        HttpResponse answer = parser.release();
        answer.erase(http::field::server);
        tcp.expires_after(limit);
        auto [written_error, written] = co_await http::async_write(tcp, answer, kTuple);
        tcp.expires_never();
        if (written_error) co_return false;
    }
    co_return true;
}

asio::awaitable<void> accept_and_serve(TakenConnection taken, HeaderFields layer_fields, HandlerContext context) {
    Connection& connection = taken.connection;
    const ConnectionLimits limits = connection.limits;
    // Bytes the client sent behind its request belong to the WebSocket.
    WsConnection upgraded{WsStream(std::move(connection.stream), beast::buffers_to_string(connection.buffer.data()),
                                   kWsFrameLimit, limits.send),
                          limits, std::move(connection.slot)};
    WsStream& ws = upgraded.ws;
    upgraded.slot.on_shut_down([&ws] { shut_down_stream(beast::get_lowest_layer(ws)); });
    upgraded.slot.serve_websocket();
    ws.read_message_max(kWsMessageLimit);
    ws.set_option(websocket::stream_base::decorator(with_headers_of(std::move(layer_fields))));
    WsFrameStream& frames = ws.next_layer();
    frames.keep_writes();
    auto [refused] = co_await ws.async_accept(taken.head, kTuple);
    const bool answered = co_await send_kept_answer(frames, limits.send);
    if (refused || !answered) co_return;
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

void start_ws_connection(TakenConnection taken, HeaderFields layer_fields, HandlerContext context) {
    const auto executor = taken.connection.stream.get_executor();
    auto task = accept_and_serve(std::move(taken), std::move(layer_fields), std::move(context));
    asio::co_spawn(executor, std::move(task), asio::detached);
}

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

}  // namespace parvello
