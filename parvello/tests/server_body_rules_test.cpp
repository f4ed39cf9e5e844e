// The body rules of the JSON routes over real HTTP, on POST /print: content type (415), size
// (413), syntax (400) and shape (422), in that order, each before the job lock is taken.
#include <poll.h>

#include <string>

#include <gtest/gtest.h>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>

#include "parvello/product.hpp"
#include "server/json_body.hpp"
#include "server_fixture.hpp"

namespace parvello {
namespace {

using namespace test;

// A job that passes every body rule and then fails at once in the job runner, so an answer
// of "job has no labels" shows that the body was accepted.
const std::string kEmptyJob =
    R"({"protocol":"p","handshake":"fire_and_forget","transport":{"type":"ble","name":"n"},"labels":[]})";
constexpr std::string_view kAccepted = "job has no labels";
constexpr std::string_view kNotJsonType = "Expected request with `Content-Type: application/json`";

Headers with_content_type(std::string_view type) {
    return {{"Host", "127.0.0.1"}, {"Content-Type", std::string(type)}};
}

TEST(JsonContentType, JsonAndAnyJsonSuffixUnderApplication) {
    const std::pair<const char*, bool> cases[] = {
        {"application/json", true},
        {"application/json; charset=utf-8", true},
        {"Application/JSON;charset=\"UTF-8\"", true},
        {" application/json ", true},
        {"application/ld+json", true},
        {"application/problem+JSON", true},
        {"application/json-patch+json", true},
        {"", false},
        {"application", false},
        {"application/", false},
        {"text/json", false},
        {"text/plain", false},
        {"application/jsonx", false},
        {"application/+json", false},
        {"application/json+xml", false},
        {"application/x json", false},
        {"appli cation/json", false},
        {"application/js\xc3\xb6n", false},
        {"application/json\x7f", false},
    };
    for (const auto& [value, json] : cases) EXPECT_EQ(is_json_content_type(value), json) << value;
}

using BodyRules = AgentServer;

TEST_F(BodyRules, EachRuleAnswersWithItsStatusAndText) {
    struct Case {
        const char* name;
        Headers headers;
        std::string body;
        http::status status;
        std::string text;
    };
    const Case cases[] = {
        {"no content type",
         {{"Host", "127.0.0.1"}},
         kEmptyJob,
         http::status::unsupported_media_type,
         std::string(kNotJsonType)},
        {"text/plain with valid JSON", with_content_type("text/plain"), kEmptyJob, http::status::unsupported_media_type,
         std::string(kNotJsonType)},
        {"the content type before the body", with_content_type("text/plain"), "not json",
         http::status::unsupported_media_type, std::string(kNotJsonType)},
        {"json with a charset", with_content_type("application/json; charset=utf-8"), kEmptyJob,
         http::status::bad_request, std::string(kAccepted)},
        {"a +json type", with_content_type("application/ld+json"), kEmptyJob, http::status::bad_request,
         std::string(kAccepted)},
        {"empty body", kJsonHeaders, "", http::status::bad_request,
         "Failed to parse the request body as JSON: EOF while parsing a value at line 1 column 0"},
        {"trailing data", kJsonHeaders, kEmptyJob + " {}", http::status::bad_request,
         "Failed to parse the request body as JSON: trailing characters at line 1 column 98"},
        {"a syntax fault below the top", kJsonHeaders, R"({"protocol":nul)", http::status::bad_request,
         "Failed to parse the request body as JSON: protocol: EOF while parsing a value at line 1 column 15"},
        {"a missing field", kJsonHeaders, R"({"handshake":"x"})", http::status::unprocessable_entity,
         "Failed to deserialize the JSON body into the target type: missing field `protocol` at line 1 column 17"},
        {"a shape fault with its path", kJsonHeaders,
         R"({"protocol":"p","handshake":"h","transport":["ble","n"],"labels":[{"data_base64":""},{"index":null}]})",
         http::status::unprocessable_entity,
         "Failed to deserialize the JSON body into the target type: labels[1].index: invalid type: null, "
         "expected u32 at line 1 column 98"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto answer = post_json(port(), "/print", c.body, c.headers);
        EXPECT_EQ(answer.result(), c.status);
        EXPECT_EQ(answer.body(), c.text);
        EXPECT_EQ(answer[http::field::content_type], "text/plain; charset=utf-8");
        EXPECT_EQ(answer["x-parvello-version"], kVersion);
    }
}

TEST_F(BodyRules, TwoMebibytesAreReadAndOneByteMoreIsRefused) {
    std::string body = kEmptyJob;
    body.resize(kMaxJsonBody, ' ');
    auto answer = post_json(port(), "/print", body);
    EXPECT_EQ(answer.result(), http::status::bad_request);
    EXPECT_EQ(answer.body(), kAccepted);

    body.push_back(' ');
    answer = post_json(port(), "/print", body);
    EXPECT_EQ(answer.result(), http::status::payload_too_large);
    EXPECT_EQ(answer.body(), "Failed to buffer the request body: length limit exceeded");
    EXPECT_EQ(answer["x-parvello-version"], kVersion);
}

// Without a declared length the limit is met while the body arrives.
TEST_F(BodyRules, AChunkedBodyOverTheLimitIsRefused) {
    const std::string chunk(1024 * 1024, ' ');
    std::string request =
        "POST /print HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
        "Transfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 3; ++i) request += "100000\r\n" + chunk + "\r\n";
    request += "0\r\n\r\n";
    const std::string reply = exchange(port(), request);
    EXPECT_TRUE(reply.starts_with("HTTP/1.1 413 Payload Too Large\r\n")) << reply.substr(0, 200);
    EXPECT_TRUE(reply.ends_with("Failed to buffer the request body: length limit exceeded")) << reply.substr(0, 200);
}

// A body that was refused unread is never taken for the next request: the connection closes.
TEST_F(BodyRules, ARefusedBodyIsNotReadAndTheConnectionCloses) {
    const std::string smuggled = "GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    const std::pair<std::string, std::string> cases[] = {
        {"415", "POST /print HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/plain\r\nContent-Length: " +
                    std::to_string(smuggled.size()) + "\r\n\r\n" + smuggled},
        // Announced, never sent: the answer does not wait for it.
        {"413",
         "POST /print HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
         "Content-Length: 3000000\r\n\r\n" +
             smuggled},
    };
    for (const auto& [status, request] : cases) {
        SCOPED_TRACE(status);
        const std::string reply = exchange(port(), request);
        EXPECT_TRUE(reply.starts_with("HTTP/1.1 " + status)) << reply;
        EXPECT_NE(reply.find("Connection: close\r\n"), std::string::npos) << reply;
        EXPECT_EQ(reply.find("HTTP/1.1", 1), std::string::npos) << "answered twice: " << reply;
    }
}

// A client that writes its whole request before it reads (as curl does without Expect:
// 100-continue) writes it all and gets the answer to a body refused unread, every time: the
// server reads and drops the rest before it closes, so the connection is not reset under the
// client's writes and the answer. Every other run writes the body only once the answer has
// come, the order in which a close at once fails for certain.
TEST_F(BodyRules, AnAnswerGivenWithTheBodyUnreadReachesAClientStillSending) {
    struct Case {
        const char* name;
        std::string head;
        std::size_t body_size;
        http::status status;
        std::string text;
    };
    const std::string too_large = "Failed to buffer the request body: length limit exceeded";
    const auto head = [](std::string_view target, std::string_view type, std::size_t size) {
        return "POST " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " + std::string(type) +
               "\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n";
    };
    const Case cases[] = {
        {"413 for 3 MB", head("/print", "application/json", 3'000'000), 3'000'000, http::status::payload_too_large,
         too_large},
        {"413 for one byte over", head("/print", "application/json", kMaxJsonBody + 1), kMaxJsonBody + 1,
         http::status::payload_too_large, too_large},
        {"415", head("/print", "text/plain", 3'000'000), 3'000'000, http::status::unsupported_media_type,
         std::string(kNotJsonType)},
        {"404 with a body", head("/no-such-path", "application/json", 3'000'000), 3'000'000, http::status::not_found,
         ""},
    };
    constexpr int kRuns = 20;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string body(c.body_size, ' ');
        int answered = 0;
        for (int run = 0; run < kRuns; ++run) {
            Client client(port());
            beast::error_code error;
            asio::write(client.socket(), asio::buffer(c.head), error);
            if (run % 2 == 1) {
                pollfd answer_come{client.socket().native_handle(), POLLIN, 0};
                ASSERT_EQ(::poll(&answer_come, 1, 20'000), 1);
            }
            // A client that cannot write its whole request reports that, not the answer.
            if (!error) asio::write(client.socket(), asio::buffer(body), error);
            if (error) continue;
            http::response_parser<http::string_body> parser;
            beast::flat_buffer buffer;
            http::read(client.socket(), buffer, parser, error);
            if (error) continue;
            EXPECT_EQ(parser.get().result(), c.status);
            EXPECT_EQ(parser.get().body(), c.text);
            ++answered;
        }
        EXPECT_EQ(answered, kRuns);
    }
}

}  // namespace
}  // namespace parvello
