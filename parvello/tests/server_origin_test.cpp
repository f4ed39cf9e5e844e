// The origin policy and the Host check over real HTTP: which answers carry which CORS
// headers, OPTIONS on any path, and requests addressed to a foreign host name.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "job_test_devices.hpp"
#include "parvello/product.hpp"
#include "server/host_check.hpp"
#include "server/json_body.hpp"
#include "server_fixture.hpp"

namespace parvello {
namespace {

using namespace test;

const char* const kOriginHeaders[] = {"access-control-allow-origin", "access-control-allow-credentials", "vary"};

void expect_always_written(const HttpResponse& answer) {
    EXPECT_EQ(answer["access-control-allow-methods"], "GET, POST, OPTIONS");
    EXPECT_EQ(answer["access-control-allow-headers"], "content-type, authorization");
    EXPECT_EQ(answer["access-control-allow-private-network"], "true");
    EXPECT_EQ(answer["x-parvello-version"], kVersion);
    EXPECT_EQ(answer["access-control-expose-headers"], "x-parvello-version");
}

void expect_trusted(const HttpResponse& answer, std::string_view origin) {
    EXPECT_EQ(answer["access-control-allow-origin"], origin);
    EXPECT_EQ(answer["access-control-allow-credentials"], "true");
    EXPECT_EQ(answer["vary"], "Origin");
    expect_always_written(answer);
}

void expect_untrusted(const HttpResponse& answer) {
    for (const char* name : kOriginHeaders) EXPECT_EQ(answer.count(name), 0u) << name;
    expect_always_written(answer);
}

Headers from_origin(std::string_view origin, Headers headers = kJsonHeaders) {
    headers.emplace_back("Origin", origin);
    return headers;
}

using OriginPolicy = AgentServer;

TEST_F(OriginPolicy, TrustedOriginsGetTheOriginHeadersOthersAreServedWithout) {
    const std::string maker = "https://www." + std::string(maker_host());
    const std::vector<std::string> trusted = {"http://localhost:5173", "https://127.0.0.1:8443", "http://[::1]:3000",
                                              "http://app.localhost",  "http://.localhost",      maker};
    for (const auto& origin : trusted) {
        SCOPED_TRACE(origin);
        const auto answer = exchange_request(port(), http::verb::get, "/status", from_origin(origin));
        EXPECT_EQ(answer.result(), http::status::ok);
        expect_trusted(answer, origin);
    }
    const std::vector<std::string> untrusted = {"http://LOCALHOST",
                                                "HTTP://localhost",
                                                "http://127.0.0.2",
                                                "http://localhost.example",
                                                "http://[::1",
                                                "http://",
                                                "null",
                                                "",
                                                maker + "/",
                                                maker + ":443",
                                                "http://caf\xc3\xa9.localhost"};
    for (const auto& origin : untrusted) {
        SCOPED_TRACE(origin);
        const auto answer = exchange_request(port(), http::verb::get, "/status", from_origin(origin));
        EXPECT_EQ(answer.result(), http::status::ok);
        expect_untrusted(answer);
    }
    const auto without_origin = exchange_request(port(), http::verb::get, "/status", kJsonHeaders);
    expect_untrusted(without_origin);
}

// Every kind of answer gets the headers: the routes' own, the body rules', the fallbacks' and
// the Host check's.
TEST_F(OriginPolicy, EveryAnswerCarriesTheHeaders) {
    const RefusingPort refusing;
    const std::string origin = "http://app.localhost:8080";
    const std::string no_labels =
        R"({"protocol":"p","handshake":"fire_and_forget","transport":{"type":"ble","name":"n"},"labels":[]})";
    std::string too_big(kMaxJsonBody + 1, ' ');
    struct Case {
        http::verb method;
        const char* target;
        Headers headers;
        std::string body;
        http::status status;
    };
    const Case cases[] = {
        {http::verb::get, "/status", from_origin(origin), "", http::status::ok},
        {http::verb::options, "/print", from_origin(origin), "", http::status::no_content},
        {http::verb::post, "/print", from_origin(origin), no_labels, http::status::bad_request},
        {http::verb::get, "/status", from_origin(origin, {{"Host", "evil.example"}}), "", http::status::forbidden},
        {http::verb::get, "/nope", from_origin(origin), "", http::status::not_found},
        {http::verb::get, "/print", from_origin(origin), "", http::status::method_not_allowed},
        {http::verb::post, "/print", from_origin(origin), too_big, http::status::payload_too_large},
        {http::verb::post, "/print", from_origin(origin, {{"Host", "127.0.0.1"}}), no_labels,
         http::status::unsupported_media_type},
        {http::verb::post, "/print", from_origin(origin), R"({"handshake":"x"})", http::status::unprocessable_entity},
        {http::verb::post, "/print", from_origin(origin), print_job(refusing.address(), {"QUJD"}),
         http::status::bad_gateway},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(http::to_string(c.method)) + " " + c.target + " " +
                     std::to_string(static_cast<unsigned>(c.status)));
        const auto answer = exchange_request(port(), c.method, c.target, c.headers, c.body);
        EXPECT_EQ(answer.result(), c.status);
        expect_trusted(answer, origin);
    }
}

TEST_F(OriginPolicy, OptionsIsAnsweredOnAnyPathWithoutRunningTheRoute) {
    LoopbackPrinter printer;
    for (const char* target : {"/print", "/no-such-path", "/status?x=1"}) {
        SCOPED_TRACE(target);
        const auto answer = exchange_request(port(), http::verb::options, target, from_origin("http://localhost"),
                                             print_job(printer.address(), {"QUJD"}));
        EXPECT_EQ(answer.result(), http::status::no_content);
        EXPECT_EQ(answer.body(), "");
        EXPECT_EQ(answer.count(http::field::allow), 0u);
        expect_trusted(answer, "http://localhost");
    }
    EXPECT_FALSE(printer.has_unaccepted_connection());
}

TEST_F(OriginPolicy, AnUntrustedOriginStillPrints) {
    LoopbackPrinter printer;
    auto received = printer.serve(1);
    const auto answer = exchange_request(port(), http::verb::post, "/print", from_origin("https://evil.example"),
                                         print_job(printer.address(), {"QUJD"}));
    EXPECT_EQ(answer.result(), http::status::ok);
    expect_untrusted(answer);
    EXPECT_EQ(received.get(), std::vector<Bytes>{bytes_of("ABC")});
}

TEST(HostAllowed, LoopbackNamesWithAnyPortInAnyCase) {
    const std::pair<const char*, bool> cases[] = {
        {"127.0.0.1", true},
        {"127.0.0.1:27419", true},
        {"localhost", true},
        {"LocalHost:8080", true},
        {"[::1]", true},
        {"[::1]:27419", true},
        {"app.localhost", true},
        {"App.LOCALHOST:3000", true},
        {"localhost:", true},

        {"", false},
        {"evil.example", false},
        {"evil.example:27419", false},
        {"127.0.0.2", false},
        {"0.0.0.0", false},
        {"localhost.evil.example", false},
        {"evillocalhost", false},
        {"[::1", false},
        {"[::2]:80", false},
        {"::1", false},
        {"localhost:80x", false},
        {"localhost:80:80", false},
        {"[::1]x", false},
        {"user@localhost", false},
        {"127.0.0.1 ", false},
    };
    for (const auto& [host, allowed] : cases) EXPECT_EQ(host_allowed(host), allowed) << '"' << host << '"';
}

using HostCheck = AgentServer;

TEST_F(HostCheck, ARequestForAForeignHostReachesNoRoute) {
    LoopbackPrinter printer;
    const Headers rebound = {{"Host", "evil.example"}, {"Content-Type", "application/json"}};
    for (const auto method : {http::verb::post, http::verb::options}) {
        SCOPED_TRACE(http::to_string(method));
        const auto answer = exchange_request(port(), method, "/print", rebound, print_job(printer.address(), {"QUJD"}));
        EXPECT_EQ(answer.result(), http::status::forbidden);
        EXPECT_EQ(answer.body(), "host not allowed");
        EXPECT_EQ(answer[http::field::content_type], "text/plain; charset=utf-8");
        expect_untrusted(answer);
    }
    // A second Host header does not get a foreign name past the check.
    const Headers twice = {{"Host", "127.0.0.1"}, {"Host", "evil.example"}};
    EXPECT_EQ(exchange_request(port(), http::verb::get, "/status", twice).result(), http::status::forbidden);
    // An absolute-form target is checked by its Host header and by the host it names itself.
    const std::string loopback_url = "http://127.0.0.1:" + std::to_string(port()) + "/status";
    EXPECT_EQ(exchange_request(port(), http::verb::get, loopback_url, {{"Host", "evil.example"}}).result(),
              http::status::forbidden);
    EXPECT_EQ(exchange_request(port(), http::verb::get, "http://evil.example/status", {{"Host", "127.0.0.1"}}).result(),
              http::status::forbidden);
    EXPECT_FALSE(printer.has_unaccepted_connection());
}

TEST_F(HostCheck, LoopbackNamesAreServed) {
    const std::string at_port = ":" + std::to_string(port());
    const std::vector<std::string> hosts = {"127.0.0.1" + at_port, "localhost", "[::1]" + at_port, "app.localhost"};
    for (const auto& host : hosts) {
        SCOPED_TRACE(host);
        EXPECT_EQ(exchange_request(port(), http::verb::get, "/status", {{"Host", host}}).result(), http::status::ok);
    }
    // HTTP/1.0 without a Host header.
    EXPECT_TRUE(exchange(port(), "GET /status HTTP/1.0\r\n\r\n").starts_with("HTTP/1.0 200 OK\r\n"));
}

}  // namespace
}  // namespace parvello
