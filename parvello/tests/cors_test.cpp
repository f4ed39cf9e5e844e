// The origin rules and the CORS headers, without a server: which origins are trusted, how
// the request's origin is read, and which headers every answer gets.
#include <string>
#include <utility>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <gtest/gtest.h>

#include "parvello/product.hpp"
#include "server/cors.hpp"
#include "server/http_connection.hpp"

namespace parvello {
namespace {

std::string maker(std::string_view prefix, std::string_view suffix = "") {
    return std::string(prefix) + std::string(maker_host()) + std::string(suffix);
}

TEST(OriginAllowed, TrustsLocalPagesAndTheMakersTwoOriginsOnly) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"http://localhost:5173", true},
        {"https://127.0.0.1:8443", true},
        {"http://[::1]:3000", true},
        {"http://app.localhost", true},
        {"http://.localhost", true},
        {"http://localhost", true},
        {"https://localhost/some/page?q=1", true},
        {"http://[::1]anything-after-the-bracket", true},
        {"http://user@app.localhost", true},  // user information stays part of the host
        {maker("https://"), true},
        {maker("https://www."), true},

        {"http://LOCALHOST", false},
        {"HTTP://localhost", false},
        {"ws://localhost", false},
        {"http://127.0.0.2", false},
        {"http://localhost.example", false},
        {"http://evillocalhost", false},
        {"http://localhost@evil.example", false},
        {"http://evil.example/.localhost", false},
        {"http://[::1", false},
        {"http://[::2]", false},
        {"http://", false},
        {"http://:8080", false},
        {"null", false},
        {"", false},
        {maker("https://", "/"), false},
        {maker("https://", ":443"), false},
        {maker("http://"), false},
        {maker("https://WWW."), false},
        {maker("https://shop."), false},
    };
    for (const auto& [origin, trusted] : cases) {
        EXPECT_EQ(origin_allowed(origin), trusted) << origin;
    }
}

// A request whose head holds these Origin fields, in this order, on a connection that is
// never read.
class WithOrigins {
public:
    explicit WithOrigins(const std::vector<std::string>& values) {
        for (const auto& value : values) parser_.get().insert(http::field::origin, value);
    }
    operator const Request&() const { return request_; }  // NOLINT: stands for its request

private:
    asio::io_context io_;
    Connection connection_{beast::tcp_stream(io_), {}, {}, {}};
    HeaderParser parser_;
    IncomingRequest incoming_{connection_, parser_};
    Request request_{incoming_};
};

WithOrigins with_origins(const std::vector<std::string>& values) { return WithOrigins(values); }

TEST(RequestOrigin, IsTheFirstOriginHeaderWhenEveryByteIsVisibleAsciiOrTab) {
    struct Case {
        std::vector<std::string> headers;
        std::optional<std::string> origin;
    };
    const std::vector<Case> cases = {
        {{}, std::nullopt},
        {{"http://localhost:5173"}, "http://localhost:5173"},
        {{""}, ""},
        {{"http://local\thost"}, "http://local\thost"},
        {{"http://localhost", "https://evil.example"}, "http://localhost"},
        {{"https://evil.example", "http://localhost"}, "https://evil.example"},
        {{"http://caf\xc3\xa9.localhost"}, std::nullopt},
        {{"http://localhost\x7f"}, std::nullopt},
        {{"http://local\x01host"}, std::nullopt},
    };
    for (const auto& c : cases) {
        const WithOrigins request(c.headers);
        EXPECT_EQ(request_origin(request), c.origin) << ::testing::PrintToString(c.headers);
    }
}

TEST(RequestOrigin, OnlyATrustedOriginIsKept) {
    EXPECT_EQ(trusted_origin(with_origins({"http://app.localhost"})), "http://app.localhost");
    EXPECT_EQ(trusted_origin(with_origins({"http://127.0.0.2"})), std::nullopt);
    EXPECT_EQ(trusted_origin(with_origins({"http://caf\xc3\xa9.localhost"})), std::nullopt);
    EXPECT_EQ(trusted_origin(with_origins({})), std::nullopt);
}

std::vector<std::pair<std::string, std::string>> fields_of(const HeaderFields& response) {
    std::vector<std::pair<std::string, std::string>> fields;
    for (const auto& field : response) fields.emplace_back(field.name, field.value);
    return fields;
}

const std::vector<std::pair<std::string, std::string>> kAlwaysWritten = {
    {"Access-Control-Allow-Methods", "GET, POST, OPTIONS"},
    {"Access-Control-Allow-Headers", "content-type, authorization"},
    {"access-control-allow-private-network", "true"},
    {"x-parvello-version", std::string(kVersion)},
    {"Access-Control-Expose-Headers", "x-parvello-version"},
};

TEST(ApplyCorsHeaders, WritesTheOriginHeadersOnlyForATrustedOrigin) {
    HeaderFields untrusted;
    apply_cors_headers(untrusted, std::nullopt);
    EXPECT_EQ(fields_of(untrusted), kAlwaysWritten);

    HeaderFields trusted;
    apply_cors_headers(trusted, "http://localhost:5173");
    auto expected = kAlwaysWritten;
    expected.insert(expected.begin(), {{"Access-Control-Allow-Origin", "http://localhost:5173"},
                                       {"Access-Control-Allow-Credentials", "true"},
                                       {"Vary", "Origin"}});
    EXPECT_EQ(fields_of(trusted), expected);
}

TEST(ApplyCorsHeaders, ReplacesValuesAlreadyInTheAnswer) {
    HeaderFields response;
    response.set("Content-Type", "application/json");
    response.add("vary", "Accept");
    response.add("VARY", "Accept-Encoding");
    response.set("X-Parvello-Version", "0.0.0");
    response.set("access-control-allow-methods", "PUT");
    apply_cors_headers(response, "http://app.localhost");

    EXPECT_EQ(response.count("Vary"), 1u);
    EXPECT_EQ(response.get("Vary"), "Origin");
    EXPECT_EQ(response.count("x-parvello-version"), 1u);
    EXPECT_EQ(response.get("x-parvello-version"), kVersion);
    EXPECT_EQ(response.count("Access-Control-Allow-Methods"), 1u);
    EXPECT_EQ(response.get("Access-Control-Allow-Methods"), "GET, POST, OPTIONS");
    EXPECT_EQ(response.get("Content-Type"), "application/json");
}

}  // namespace
}  // namespace parvello
