#include <algorithm>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/read.hpp>

#include "server/request.hpp"
#include "server/as_tuple.hpp"

namespace parvello {

namespace {

// The scheme of an absolute-form target, in any letter case, with its "://".
std::size_t scheme_length(std::string_view target) {
    for (const std::string_view scheme : {std::string_view("http://"), std::string_view("https://")}) {
        if (target.size() >= scheme.size() && beast::iequals(target.substr(0, scheme.size()), scheme)) {
            return scheme.size();
        }
    }
    return 0;
}

bool expects_continue(const http::request_header<>& header) {
    return header.version() >= 11 && beast::iequals(header[http::field::expect], "100-continue");
}

}  // namespace

const http::request_header<>& Request::header() const noexcept {
    if (body_parser_) return body_parser_->get();
    return header_parser_.get();
}

std::optional<std::string_view> Request::target_authority() const noexcept {
    const std::string_view t = target();
    const std::size_t scheme = scheme_length(t);
    if (scheme == 0) return std::nullopt;
    const std::string_view rest = t.substr(scheme);
    return rest.substr(0, rest.find_first_of("/?"));
}

std::string_view Request::path() const noexcept {
    std::string_view t = target();
    if (const auto authority = target_authority()) {
        t.remove_prefix(static_cast<std::size_t>(authority->data() + authority->size() - t.data()));
        // "http://127.0.0.1" and "http://127.0.0.1?x" name the root.
        if (t.empty() || t.front() == '?') return "/";
    }
    return t.substr(0, t.find('?'));
}

bool Request::keep_alive() const noexcept {
    return body_parser_ ? body_parser_->keep_alive() : header_parser_.keep_alive();
}

bool Request::body_unread() const noexcept {
    if (body_read_) return false;
    return body_parser_ ? !body_parser_->is_done() : !header_parser_.is_done();
}

asio::awaitable<std::expected<std::string, beast::error_code>> Request::read_sized_body(std::size_t length) {
    std::string body;
    const auto buffered = connection_.buffer.data();
    const std::size_t have = std::min(length, buffered.size());
    // Every byte is overwritten below, by what is buffered and then by the socket.
    body.resize_and_overwrite(length, [&](char* bytes, std::size_t) {
        asio::buffer_copy(asio::buffer(bytes, have), buffered);
        return length;
    });
    connection_.buffer.consume(have);
    auto waiting = connection_.slot.waiting_on_client();
    // A body may take as long as it keeps coming; one that brings nothing for the stall limit
    // ends the connection.
    for (std::size_t filled = have; filled < length;) {
        connection_.stream.expires_after(connection_.limits.stall);
        auto [ec, n] = co_await connection_.stream.async_read_some(
            asio::buffer(body.data() + filled, length - filled), kTuple);
        filled += n;
        if (ec) {
            connection_.stream.expires_never();
            // Cut short, as Beast's parser says it.
            if (ec == asio::error::eof) ec = http::error::partial_message;
            co_return std::unexpected(ec);
        }
    }
    connection_.stream.expires_never();
    body_read_ = true;
    co_return body;
}

asio::awaitable<std::expected<std::string, beast::error_code>> Request::read_body(std::size_t limit) {
    if (body_parser_) co_return std::unexpected(make_error_code(http::error::stale_parser));
    const auto declared = header_parser_.content_length();
    body_parser_.emplace(std::move(header_parser_));
    // A declared length is checked here: the header parser let every length through.
    if (declared && *declared > limit) co_return std::unexpected(make_error_code(http::error::body_limit));
    body_parser_->body_limit(limit);
    if (!body_parser_->is_done()) {
        if (expects_continue(body_parser_->get())) {
            static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
            connection_.stream.expires_after(connection_.limits.send);
            auto [ec, n] = co_await asio::async_write(connection_.stream, asio::buffer(kContinue), kTuple);
            connection_.stream.expires_never();
            if (ec) co_return std::unexpected(ec);
        }
        // A body of declared length goes from the socket straight into a string of its size,
        // in reads as large as the socket gives: through the parser it would be read into the
        // connection's buffer some hundred bytes at a time and copied from there.
        if (declared && !body_parser_->chunked()) co_return co_await read_sized_body(*declared);
        auto waiting = connection_.slot.waiting_on_client();
        while (!body_parser_->is_done()) {
            connection_.stream.expires_after(connection_.limits.stall);
            auto [ec, n] = co_await http::async_read_some(connection_.stream, connection_.buffer, *body_parser_,
                                                          kTuple);
            connection_.stream.expires_never();
            if (ec) co_return std::unexpected(ec);
        }
    }
    co_return std::move(body_parser_->get().body());
}

http::request<http::empty_body> Request::release_header() {
    return http::request<http::empty_body>(http::request_header<>(header()));
}

Response empty_response(http::status status) {
    Response response;
    response.message.result(status);
    return response;
}

Response json_response(std::string body) {
    Response response;
    response.message.result(http::status::ok);
    response.message.set(http::field::content_type, "application/json");
    response.message.body() = std::move(body);
    return response;
}

}  // namespace parvello
