#include "server/connection.hpp"

#include <array>
#include <cstdint>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

#include "server/head_refusal.hpp"
#include "server/as_tuple.hpp"

namespace parvello {

namespace {

// Frames the answer for the wire: a length for every answer that may carry a body (the
// length of the GET answer for HEAD, whose body is left out), none for 1xx, 204 and 304.
void frame_answer(HttpResponse& answer, bool head) {
    const auto status = answer.result();
    if (http::to_status_class(status) == http::status_class::informational ||
        status == http::status::no_content || status == http::status::not_modified) {
        answer.body().clear();
        answer.erase(http::field::content_length);
        answer.erase(http::field::transfer_encoding);
        return;
    }
    answer.prepare_payload();
    if (head) answer.body().clear();
}

// The next request's head: up to `idle` for its first byte, then up to `head` for the rest.
// The connection waits on its client meanwhile, so the registry may close it to make room.
asio::awaitable<beast::error_code> read_head(Connection& connection, Request::HeaderParser& parser) {
    auto waiting = connection.slot.waiting_on_client();
    if (connection.buffer.size() == 0) {
        constexpr std::size_t kFirstRead = 4096;
        connection.stream.expires_after(connection.limits.idle);
        auto [error, n] = co_await connection.stream.async_read_some(connection.buffer.prepare(kFirstRead), kTuple);
        connection.buffer.commit(n);
        if (error) co_return error;
    }
    connection.stream.expires_after(connection.limits.head);
    auto [error, n] = co_await http::async_read_header(connection.stream, connection.buffer, parser, kTuple);
    connection.stream.expires_never();
    co_return error;
}

// Closing while the client still sends would reset the connection, and a reset can discard
// the answer before the client reads it. So: end our side, take what the client still sends
// until it closes (at most `max_discard_bytes`, for at most the head limit), then close.
asio::awaitable<void> close_after_unread_input(Connection& connection) {
    auto waiting = connection.slot.waiting_on_client();
    beast::error_code error;
    connection.stream.socket().shutdown(asio::ip::tcp::socket::shutdown_send, error);
    connection.stream.expires_after(connection.limits.head);
    std::array<char, 16384> sink;
    for (std::size_t dropped = 0; !error && dropped <= connection.limits.max_discard_bytes;) {
        auto [read_error, n] = co_await connection.stream.async_read_some(asio::buffer(sink), kTuple);
        error = read_error;
        dropped += n;
    }
    connection.stream.expires_never();
}

// Answers a request that is not read further, then closes the connection.
asio::awaitable<void> refuse_and_close(Connection& connection, const HttpResponse& answer) {
    connection.stream.expires_after(connection.limits.send);
    auto [error, written] = co_await http::async_write(connection.stream, answer, kTuple);
    if (!error) co_await close_after_unread_input(connection);
}

}  // namespace

asio::awaitable<void> serve_connection(Connection connection, std::shared_ptr<const Router> router) {
    connection.slot.on_shut_down([&stream = connection.stream] { shut_down_stream(stream); });
    for (;;) {
        Request::HeaderParser parser;
        parser.header_limit(static_cast<std::uint32_t>(connection.limits.max_head_bytes));
        // The body is the route's to read and limit; the header read must not refuse it.
        parser.body_limit(boost::none);
        const beast::error_code read_error = co_await read_head(connection, parser);
        if (read_error == http::error::header_limit) {
            const auto limit = connection.limits.max_head_bytes;
            co_return co_await refuse_and_close(connection, head_too_large(parser.get(), limit));
        }
        if (is_malformed_head(read_error)) {
            co_return co_await refuse_and_close(connection, malformed_head(parser.get(), read_error));
        }
        // Closed or timed out: nothing to answer.
        if (read_error) break;
        if (has_unsupported_transfer_coding(parser.get(), parser.chunked())) {
            co_return co_await refuse_and_close(connection, unsupported_transfer_coding(parser.get()));
        }

        Request request(connection, parser);
        Response response = co_await router->handle(request);
        if (response.take_over) {
            auto take_over = std::move(response.take_over);
            auto header = request.release_header();
            take_over(std::move(connection), std::move(header), std::move(response.message));
            co_return;
        }

        HttpResponse& answer = response.message;
        answer.version(request.header().version());
        // A body the route left unread cannot be told from the next request: close instead.
        answer.keep_alive(request.keep_alive() && !request.body_unread());
        frame_answer(answer, request.method() == http::verb::head);
        connection.stream.expires_after(connection.limits.send);
        auto [write_error, written] = co_await http::async_write(connection.stream, answer, kTuple);
        connection.stream.expires_never();
        if (write_error) break;
        if (!answer.keep_alive()) {
            // The client may still be sending: the body of this request, or requests behind it.
            if (request.body_unread() || connection.buffer.size() > 0) {
                co_return co_await close_after_unread_input(connection);
            }
            break;
        }
    }
    beast::error_code ignored;
    connection.stream.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
}

asio::awaitable<void> serve_connection(asio::ip::tcp::socket socket, std::shared_ptr<const Router> router) {
    return serve_connection(Connection{beast::tcp_stream(std::move(socket)), {}, {}, {}}, std::move(router));
}

}  // namespace parvello
