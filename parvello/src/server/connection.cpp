#include "server/connection.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/buffers_suffix.hpp>
#include <boost/beast/http/read.hpp>

#include "server/answer_bytes.hpp"
#include "server/as_tuple.hpp"
#include "server/head_refusal.hpp"
#include "server/wait_limit.hpp"

namespace parvello {

namespace {

// A refusal of the head is answered as HTTP/1.1 and ends the connection.
constexpr AnswerFraming kRefusalFraming{.version = 11, .keep_alive = false, .head = false};

// Parses what the buffer already holds of the next request's head: no error once the head is
// complete, `need_more` when the rest must still be read, or the parser's refusal.
beast::error_code parse_buffered_head(HeaderParser& parser, beast::flat_buffer& buffer) {
    beast::error_code error;
    while (!parser.is_header_done()) {
        const std::size_t used = parser.put(buffer.data(), error);
        buffer.consume(used);
        if (error) break;
        if (used == 0) return http::error::need_more;
    }
    return error;
}

// The next request's head: up to `idle` for its first byte, then up to `head` for the rest.
// The connection waits on its client meanwhile, so the registry may close it to make room.
// The head usually comes whole with its first byte, and is then parsed from the buffer.
asio::awaitable<beast::error_code> read_head(Connection& connection, HeaderParser& parser, WaitLimit& idle) {
    auto waiting = connection.slot.waiting_on_client();
    if (connection.buffer.size() == 0) {
        constexpr std::size_t kFirstRead = 4096;
        idle.expires_after(connection.limits.idle);
        auto [error, n] =
            co_await connection.stream.socket().async_read_some(connection.buffer.prepare(kFirstRead), kTuple);
        idle.expires_never();
        connection.buffer.commit(n);
        if (error) co_return error;
    }
    if (const beast::error_code parsed = parse_buffered_head(parser, connection.buffer);
        parsed != http::error::need_more) {
        co_return parsed;
    }
    connection.stream.expires_after(connection.limits.head);
    auto [error, n] = co_await http::async_read_header(connection.stream, connection.buffer, parser, kTuple);
    connection.stream.expires_never();
    co_return error;
}

// Writes an answer: at once when the socket takes it whole, as it does unless the client
// lags behind; else the rest within the send limit.
asio::awaitable<beast::error_code> send_answer(Connection& connection, std::string_view head, std::string_view body) {
    const std::array<asio::const_buffer, 2> pieces{asio::buffer(head), asio::buffer(body)};
    beast::error_code error;
    const std::size_t sent = connection.stream.socket().write_some(pieces, error);
    if (error != asio::error::would_block && (error || sent == head.size() + body.size())) co_return error;
    beast::buffers_suffix<std::array<asio::const_buffer, 2>> rest(pieces);
    rest.consume(sent);
    connection.stream.expires_after(connection.limits.send);
    auto [write_error, written] = co_await asio::async_write(connection.stream, rest, kTuple);
    connection.stream.expires_never();
    co_return write_error;
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
    // Answers are first offered to the socket without waiting (see send_answer).
    beast::error_code ignored;
    connection.stream.socket().non_blocking(true, ignored);
    // A client that sends no next request within the idle limit is closed, as the TCP stream
    // closes one that overstays its own limits.
    WaitLimit idle(connection.stream.get_executor(), [&connection] { connection.stream.close(); });
    std::string answer_head;  // reused for each answer of the connection
    for (;;) {
        HeaderParser parser;
        parser.header_limit(static_cast<std::uint32_t>(connection.limits.max_head_bytes));
        // The body is the route's to read and limit; the header read must not refuse it.
        parser.body_limit(boost::none);
        IncomingRequest incoming(connection, parser);
        Request request(incoming);
        const beast::error_code read_error = co_await read_head(connection, parser, idle);
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
            // The new owner gets the socket in the mode it was accepted in.
            connection.stream.socket().non_blocking(false, ignored);
            take_over(std::make_unique<TakenConnection>(std::move(connection), std::move(head)),
                      std::move(response.fields));
            co_return;
        }

        // A body the route left unread cannot be told from the next request: close instead.
        const bool keep_alive = request.keep_alive() && !request.body_unread();
        const AnswerFraming framing{
            .version = request.version(), .keep_alive = keep_alive, .head = request.method() == Method::Head};
        answer_head.clear();
        append_answer_head(answer_head, response, framing);
        const beast::error_code write_error =
            co_await send_answer(connection, answer_head, answer_body(response, framing));
        if (write_error) break;
        if (!keep_alive) {
            // The client may still be sending: the body of this request, or requests behind it.
            if (request.body_unread() || connection.buffer.size() > 0) {
                co_return co_await close_after_unread_input(connection);
            }
            break;
        }
    }
    connection.stream.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
}

asio::awaitable<void> serve_connection(asio::ip::tcp::socket socket, std::shared_ptr<const Router> router) {
    return serve_connection(Connection{beast::tcp_stream(std::move(socket)), {}, {}, {}}, std::move(router));
}

}  // namespace parvello
