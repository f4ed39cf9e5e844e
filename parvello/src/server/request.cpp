#include <algorithm>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/read.hpp>

#include "server/as_tuple.hpp"
#include "server/http_connection.hpp"

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

BodyError body_error(const beast::error_code& error) {
    const auto kind = error == http::error::body_limit ? BodyError::Kind::TooLarge : BodyError::Kind::Unreadable;
    return BodyError{kind, error.message()};
}

// The body of a request that declares its length (already checked against the limit).
asio::awaitable<std::expected<std::string, beast::error_code>> read_sized_body(IncomingRequest& incoming,
                                                                               std::size_t length) {
    Connection& connection = incoming.connection;
    std::string body;
    const auto buffered = connection.buffer.data();
    const std::size_t have = std::min(length, buffered.size());
    // Every byte is overwritten below, by what is buffered and then by the socket.
    body.resize_and_overwrite(length, [&](char* bytes, std::size_t) {
        asio::buffer_copy(asio::buffer(bytes, have), buffered);
        return length;
    });
    connection.buffer.consume(have);
    auto waiting = connection.slot.waiting_on_client();
    // A body may take as long as it keeps coming; one that brings nothing for the stall limit
    // ends the connection.
    for (std::size_t filled = have; filled < length;) {
        connection.stream.expires_after(connection.limits.stall);
        auto [ec, n] =
            co_await connection.stream.async_read_some(asio::buffer(body.data() + filled, length - filled), kTuple);
        filled += n;
        if (ec) {
            connection.stream.expires_never();
            // Cut short, as Beast's parser says it.
            if (ec == asio::error::eof) ec = http::error::partial_message;
            co_return std::unexpected(ec);
        }
    }
    connection.stream.expires_never();
    incoming.body_read = true;
    co_return body;
}

asio::awaitable<std::expected<std::string, beast::error_code>> read_whole_body(IncomingRequest& incoming,
                                                                               std::size_t limit) {
    if (incoming.body_parser) co_return std::unexpected(make_error_code(http::error::stale_parser));
    const auto declared = incoming.header_parser.content_length();
    auto& parser = incoming.body_parser.emplace(std::move(incoming.header_parser));
    // A declared length is checked here: the header parser let every length through.
    if (declared && *declared > limit) co_return std::unexpected(make_error_code(http::error::body_limit));
    parser.body_limit(limit);
    if (!parser.is_done()) {
        Connection& connection = incoming.connection;
        if (expects_continue(parser.get())) {
            static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
            connection.stream.expires_after(connection.limits.send);
            auto [ec, n] = co_await asio::async_write(connection.stream, asio::buffer(kContinue), kTuple);
            connection.stream.expires_never();
            if (ec) co_return std::unexpected(ec);
        }
        // A body of declared length goes from the socket straight into a string of its size,
        // in reads as large as the socket gives: through the parser it would be read into the
        // connection's buffer some hundred bytes at a time and copied from there.
        if (declared && !parser.chunked()) co_return co_await read_sized_body(incoming, *declared);
        auto waiting = connection.slot.waiting_on_client();
        while (!parser.is_done()) {
            connection.stream.expires_after(connection.limits.stall);
            auto [ec, n] = co_await http::async_read_some(connection.stream, connection.buffer, parser, kTuple);
            connection.stream.expires_never();
            if (ec) co_return std::unexpected(ec);
        }
    }
    co_return std::move(parser.get().body());
}

}  // namespace

Method Request::method() const noexcept {
    switch (incoming_.header().method()) {
        case http::verb::get:
            return Method::Get;
        case http::verb::head:
            return Method::Head;
        case http::verb::post:
            return Method::Post;
        case http::verb::options:
            return Method::Options;
        default:
            return Method::Other;
    }
}

std::string_view Request::method_name() const noexcept { return incoming_.header().method_string(); }

unsigned Request::version() const noexcept { return incoming_.header().version(); }

std::string_view Request::target() const noexcept { return incoming_.header().target(); }

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

std::optional<std::string_view> Request::field(std::string_view name) const noexcept {
    const auto& header = incoming_.header();
    const auto found = header.find(name);
    if (found == header.end()) return std::nullopt;
    return found->value();
}

std::size_t Request::field_count(std::string_view name) const noexcept { return incoming_.header().count(name); }

bool Request::every_field(std::string_view name, bool (*accept)(std::string_view)) const {
    const auto [first, last] = incoming_.header().equal_range(name);
    return std::all_of(first, last, [accept](const auto& field) { return accept(field.value()); });
}

bool Request::keep_alive() const noexcept {
    return incoming_.body_parser ? incoming_.body_parser->keep_alive() : incoming_.header_parser.keep_alive();
}

bool Request::body_unread() const noexcept {
    if (incoming_.body_read) return false;
    return incoming_.body_parser ? !incoming_.body_parser->is_done() : !incoming_.header_parser.is_done();
}

asio::awaitable<std::expected<std::string, BodyError>> Request::read_body(std::size_t limit) {
    auto body = co_await read_whole_body(incoming_, limit);
    if (!body) co_return std::unexpected(body_error(body.error()));
    co_return std::move(*body);
}

}  // namespace parvello
