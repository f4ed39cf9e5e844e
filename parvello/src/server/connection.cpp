#include "server/connection.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

namespace parvello {

namespace {

constexpr auto kTuple = asio::as_tuple(asio::use_awaitable);

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

}  // namespace

asio::awaitable<void> serve_connection(asio::ip::tcp::socket socket, std::shared_ptr<const Router> router) {
    Connection connection{beast::tcp_stream(std::move(socket)), {}};
    for (;;) {
        Request::HeaderParser parser;
        // The body is the route's to read and limit; the header read must not refuse it.
        parser.body_limit(boost::none);
        auto [read_error, header_bytes] =
            co_await http::async_read_header(connection.stream, connection.buffer, parser, kTuple);
        // Closed, or not an HTTP/1.0 or 1.1 request (the parser refuses other versions, such
        // as the "PRI * HTTP/2.0" preface of HTTP/2): nothing to answer.
        if (read_error) break;

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
        auto [write_error, written] = co_await http::async_write(connection.stream, answer, kTuple);
        if (write_error || !answer.keep_alive()) break;
    }
    beast::error_code ignored;
    connection.stream.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
}

}  // namespace parvello
