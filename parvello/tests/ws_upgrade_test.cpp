// The upgrade of GET /ws over real HTTP: the checks in their order with their texts, the
// origin rule, and the 101 answer.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "parvello/product.hpp"
#include "server_fixture.hpp"
#include "ws_test_client.hpp"

namespace parvello {
namespace {

using namespace test;

const Headers kUpgrade = {{"Host", "127.0.0.1"},
                          {"Connection", "Upgrade"},
                          {"Upgrade", "websocket"},
                          {"Sec-WebSocket-Key", "dGhlIHNhbXBsZSBub25jZQ=="},
                          {"Sec-WebSocket-Version", "13"}};

// The upgrade headers with `name` replaced by `value`, or left out when there is none.
Headers upgrade_with(std::string_view name, std::optional<std::string> value, Headers headers = kUpgrade) {
    std::erase_if(headers, [&](const auto& h) { return h.first == name; });
    if (value) headers.emplace_back(std::string(name), *value);
    return headers;
}

void expect_plain_text(const HttpResponse& answer, http::status status, std::string_view text) {
    EXPECT_EQ(answer.result(), status);
    EXPECT_EQ(answer.body(), text);
    EXPECT_EQ(answer[http::field::content_type], "text/plain; charset=utf-8");
    EXPECT_EQ(answer["x-parvello-version"], parvello::kVersion);
}

using WsUpgrade = AgentServer;

TEST_F(WsUpgrade, TheFirstFailingCheckAnswers) {
    constexpr std::string_view kConnection = "Connection header did not include 'upgrade'";
    constexpr std::string_view kUpgradeText = "`Upgrade` header did not include 'websocket'";
    constexpr std::string_view kKey = "`Sec-WebSocket-Key` header missing";
    constexpr std::string_view kVersion = "`Sec-WebSocket-Version` header did not include '13'";
    Headers nothing_but_connection = {{"Host", "127.0.0.1"}, {"Connection", "upgrade"}};
    Headers two_versions = upgrade_with("Sec-WebSocket-Version", "12");
    two_versions.emplace_back("Sec-WebSocket-Version", "13");
    struct Case {
        const char* what;
        Headers headers;
        std::string_view text;
    };
    const Case cases[] = {
        {"no upgrade headers at all", {{"Host", "127.0.0.1"}}, kConnection},
        {"connection without upgrade", upgrade_with("Connection", "keep-alive"), kConnection},
        {"only the connection header", nothing_but_connection, kUpgradeText},
        {"upgrade missing", upgrade_with("Upgrade", std::nullopt), kUpgradeText},
        {"upgrade names two protocols", upgrade_with("Upgrade", "websocket, h2c"), kUpgradeText},
        {"key missing", upgrade_with("Sec-WebSocket-Key", std::nullopt), kKey},
        {"key missing, from an untrusted page",
         upgrade_with("Origin", "http://127.0.0.2", upgrade_with("Sec-WebSocket-Key", std::nullopt)), kKey},
        {"version missing", upgrade_with("Sec-WebSocket-Version", std::nullopt), kVersion},
        {"version 8", upgrade_with("Sec-WebSocket-Version", "8"), kVersion},
        {"first version header counts", two_versions, kVersion},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expect_plain_text(exchange_request(port(), http::verb::get, "/ws", c.headers), http::status::bad_request,
                          c.text);
    }
}

TEST_F(WsUpgrade, OnlyGetOverHttp11CanUpgrade) {
    constexpr std::string_view kNotGet = "Request method must be `GET`";
    const HttpResponse head = exchange_request(port(), http::verb::head, "/ws", kUpgrade);
    EXPECT_EQ(head.result(), http::status::method_not_allowed);
    EXPECT_EQ(head[http::field::content_length], std::to_string(kNotGet.size()));

    Client client(port());
    client.send(
        "GET /ws HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: upgrade\r\nUpgrade: websocket\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    expect_plain_text(client.read_response(), http::status::upgrade_required,
                      "WebSocket request couldn't be upgraded since no upgrade state was present");
}

TEST_F(WsUpgrade, SwitchesWithTheAcceptValueAndTheCorsHeaders) {
    Headers headers = upgrade_with("Origin", "http://localhost:5173");
    // Loose but acceptable spellings of the other two headers.
    headers = upgrade_with("Connection", "keep-alive, Upgrade", headers);
    headers = upgrade_with("Upgrade", "WebSocket", headers);
    Client client(port());
    send_request(client, http::verb::get, "/ws", headers);
    const HttpResponse answer = client.read_response();
    EXPECT_EQ(answer.result(), http::status::switching_protocols);
    EXPECT_EQ(answer[http::field::upgrade], "websocket");
    EXPECT_EQ(answer[http::field::connection], "upgrade");
    EXPECT_EQ(answer[http::field::sec_websocket_accept], "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
    EXPECT_EQ(answer.count(http::field::sec_websocket_protocol), 0u);
    EXPECT_EQ(answer[http::field::access_control_allow_origin], "http://localhost:5173");
    EXPECT_EQ(answer["x-parvello-version"], parvello::kVersion);
    // The answer carries the headers of the upgrade and of the layers, and nothing of the
    // WebSocket library's own, such as its Server header.
    EXPECT_EQ(answer.count(http::field::server), 0u);
}

// Requests that pass the agent's own checks but are no WebSocket handshake the library can
// accept (a key that is no 16-byte nonce, a Connection header without the upgrade token) are
// refused by the library with its own text, as plain text with the layers' headers.
TEST_F(WsUpgrade, HandshakesTheLibraryCannotAcceptAreRefused) {
    struct Case {
        const char* what;
        Headers headers;
        std::string_view text;
    };
    const Case cases[] = {
        {"a key longer than a nonce", upgrade_with("Sec-WebSocket-Key", "a key that is not 24 characters long at all"),
         "The WebSocket handshake Sec-WebSocket-Key field is invalid"},
        {"upgrade only inside another token", upgrade_with("Connection", "keep-alive, XUPGRADEX"),
         "The WebSocket handshake Connection field is missing the upgrade token"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const HttpResponse answer = exchange_request(port(), http::verb::get, "/ws", c.headers);
        expect_plain_text(answer, http::status::bad_request, c.text);
        EXPECT_EQ(answer.count(http::field::server), 0u);
    }
}

// Browsers let any page open a WebSocket to the agent and apply no CORS to it, so the upgrade
// itself is refused to pages of untrusted origins.
TEST_F(WsUpgrade, PagesOfUntrustedOriginsCannotConnect) {
    for (const std::string origin : {"http://127.0.0.2:8080", "https://example.com", "null", "", "http://LOCALHOST"}) {
        SCOPED_TRACE(origin);
        const HttpResponse answer = exchange_request(port(), http::verb::get, "/ws", upgrade_with("Origin", origin));
        expect_plain_text(answer, http::status::forbidden, "origin not allowed");
        EXPECT_EQ(answer.count(http::field::access_control_allow_origin), 0u);
    }
}

// An Origin the agent cannot read as one page's origin is no sign of a trusted page.
TEST_F(WsUpgrade, OriginsThatNameNoSinglePageCannotConnect) {
    Headers twice = upgrade_with("Origin", "http://localhost:8080");
    twice.emplace_back("Origin", "http://localhost:8080");
    Headers trusted_then_foreign = upgrade_with("Origin", "http://localhost:8080");
    trusted_then_foreign.emplace_back("Origin", "https://example.com");
    struct Case {
        const char* what;
        Headers headers;
    };
    const Case cases[] = {
        {"the same trusted origin twice", twice},
        {"a trusted origin, then a foreign one", trusted_then_foreign},
        {"a byte outside ASCII", upgrade_with("Origin", "http://localhost\xc3\xa9:8080")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expect_plain_text(exchange_request(port(), http::verb::get, "/ws", c.headers), http::status::forbidden,
                          "origin not allowed");
    }
}

TEST_F(WsUpgrade, TrustedPagesAndClientsWithoutOriginAreServed) {
    const std::string maker = "https://" + std::string(maker_host());
    for (const std::optional<std::string>& origin :
         {std::optional<std::string>{}, std::optional<std::string>{"http://localhost:8080"},
          std::optional<std::string>{"http://[::1]:3000"}, std::optional<std::string>{maker}}) {
        SCOPED_TRACE(origin.value_or("(no origin)"));
        WsClient client(port(), origin);
        client.send_text("{}");
        EXPECT_EQ(client.read(),
                  R"({"type":"error","message":"invalid job JSON: missing field `protocol` at line 1 column 2"})");
    }
}

}  // namespace
}  // namespace parvello
