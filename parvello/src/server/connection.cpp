#include "server/connection.hpp"

#include <array>
#include <cstdint>
#include <string>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/http/read.hpp>

#include "server/answer_bytes.hpp"
#include "server/as_tuple.hpp"
#include "server/head_refusal.hpp"

namespace parvello {

namespace {

// A refusal of the head is answered as HTTP/1.1 and ends the connection.
constexpr AnswerFraming kRefusalFraming{.version = 11, .keep_alive = false, .head = false};

// The next request's head: up to `idle` for its first byte, then up to `head` for the rest.
// The connection waits on its client meanwhile, so the registry may close it to make room.
asio::awaitable<beast::error_code> read_head(Connection& connection, HeaderParser& parser) {
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
asio::awaitable<void> refuse_and_close(Connection& connection, const Response& refusal) {
    const std::string bytes = answer_bytes(refusal, kRefusalFraming);
    connection.stream.expires_after(connection.limits.send);
    auto [error, written] = co_await asio::async_write(connection.stream, asio::buffer(bytes), kTuple);
    if (!error) co_await close_after_unread_input(connection);
}

}  // namespace

asio::awaitable<void> serve_connection(Connection connection, std::shared_ptr<const Router> router) {
    connection.slot.on_shut_down([&stream = connection.stream] { shut_down_stream(stream); });
    for (;;) {
        HeaderParser parser;
        parser.header_limit(static_cast<std::uint32_t>(connection.limits.max_head_bytes));
        // The body is the route's to read and limit; the header read must not refuse it.
        parser.body_limit(boost::none);
        IncomingRequest incoming(connection, parser);
        Request request(incoming);
        const beast::error_code read_error = co_await read_head(connection, parser);
        if (read_error == http::error::header_limit) {
            co_return co_await refuse_and_close(connection, head_too_large(request, connection.limits.max_head_bytes));
        }
        if (is_malformed_head(read_error)) {
            co_return co_await refuse_and_close(connection, malformed_head(request, read_error));
        }
        // Closed or timed out: nothing to answer.
        if (read_error) break;
        if (has_unsupported_transfer_coding(request, parser.chunked())) {
            co_return co_await refuse_and_close(connection, unsupported_transfer_coding(request));
        }

        Response response = co_await router->handle(request);
        if (response.take_over) {
            auto take_over = std::move(response.take_over);
            http::request<http::empty_body> head(http::request_header<>(incoming.header()));
            take_over(std::make_unique<TakenConnection>(std::move(connection), std::move(head)),
                      std::move(response.fields));
            co_return;
        }

        // A body the route left unread cannot be told from the next request: close instead.
        const bool keep_alive = request.keep_alive() && !request.body_unread();
        const AnswerFraming framing{
            .version = request.version(), .keep_alive = keep_alive, .head = request.method() == Method::Head};
        const std::string bytes = answer_bytes(response, framing);
        connection.stream.expires_after(connection.limits.send);
        auto [write_error, written] = co_await asio::async_write(connection.stream, asio::buffer(bytes), kTuple);
        connection.stream.expires_never();
        if (write_error) break;
        if (!keep_alive) {
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
