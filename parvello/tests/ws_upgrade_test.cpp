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

using namespace testing;

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
        {"key missing, from an untrusted page", upgrade_with("Origin", "http://127.0.0.2", upgrade_with("Sec-WebSocket-Key", std::nullopt)), kKey},
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
    client.send("GET /ws HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: upgrade\r\nUpgrade: websocket\r\n"
                "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    expect_plain_text(client.read_response(), http::status::upgrade_required,
                      "WebSocket request couldn't be upgraded since no upgrade state was present");
}

TEST_F(WsUpgrade, SwitchesWithTheAcceptValueAndTheCorsHeaders) {
    struct Case {
        std::string key;
        std::string accept;
    };
    const Case cases[] = {
        {"dGhlIHNhbXBsZSBub25jZQ==", "s3pPLMBiTxaQ9kYGzzhZRbK+xOo="},
        // Any key is answered, not only the 24 characters that a client normally sends.
        {"a key that is not 24 characters long at all", "KMYR6gCWU0e4zawFJW+baWf3OMM="},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        Headers headers = upgrade_with("Sec-WebSocket-Key", c.key);
        headers.emplace_back("Origin", "http://localhost:5173");
        // Loose but acceptable spellings of the other two headers.
        headers = upgrade_with("Connection", "keep-alive, XUPGRADEX", headers);
        headers = upgrade_with("Upgrade", "WebSocket", headers);
        Client client(port());
        send_request(client, http::verb::get, "/ws", headers);
        const HttpResponse answer = client.read_response();
        EXPECT_EQ(answer.result(), http::status::switching_protocols);
        EXPECT_EQ(answer[http::field::upgrade], "websocket");
        EXPECT_EQ(answer[http::field::connection], "upgrade");
        EXPECT_EQ(answer[http::field::sec_websocket_accept], c.accept);
        EXPECT_EQ(answer.count(http::field::sec_websocket_protocol), 0u);
        EXPECT_EQ(answer[http::field::access_control_allow_origin], "http://localhost:5173");
        EXPECT_EQ(answer["x-parvello-version"], parvello::kVersion);
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

TEST_F(WsUpgrade, TrustedPagesAndClientsWithoutOriginAreServed) {
    const std::string maker = "https://" + std::string(maker_host());
    for (const std::optional<std::string>& origin :
         {std::optional<std::string>{}, std::optional<std::string>{"http://localhost:8080"},
          std::optional<std::string>{"http://[::1]:3000"}, std::optional<std::string>{maker}}) {
        SCOPED_TRACE(origin.value_or("(no origin)"));
        WsClient client(port(), origin);
        client.send_text("{}");
        EXPECT_EQ(client.read(), R"({"type":"error","message":"invalid job JSON: missing field `protocol` at line 1 column 2"})");
    }
}

}  // namespace
}  // namespace parvello
