// Text that is not well-formed JSON: the reader's syntax messages, where they stand, and which
// fault wins when there are several (the first met in text order).
#include "parvello/request.hpp"

#include "request_test_support.hpp"

#include <gtest/gtest.h>

#include <string>

using request_test::Case;
using request_test::http;

namespace {

// A complete job of 68 bytes; `kJob.substr(1)` continues an object already opened.
const std::string kJob = R"({"protocol":"p","handshake":"h","transport":["ble","n"],"labels":[]})";

// `levels` nested arrays as the value of an unknown key "x" in front of a complete job.
std::string job_with_nesting(int levels) {
    return R"({"x":)" + std::string(static_cast<std::size_t>(levels), '[') +
           std::string(static_cast<std::size_t>(levels), ']') + "," + kJob.substr(1);
}

}  // namespace

TEST(RequestSyntaxFaults, StructureAndEndOfText) {
    const Case cases[] = {
        {"", "400 EOF while parsing a value at line 1 column 0"},
        {" \t", "400 EOF while parsing a value at line 1 column 2"},
        {"{", "400 EOF while parsing an object at line 1 column 1"},
        {"[", "400 [0]: EOF while parsing a list at line 1 column 1"},
        {R"({"protocol")", "400 protocol: EOF while parsing an object at line 1 column 11"},
        {R"({"protocol" "x"})", "400 protocol: expected `:` at line 1 column 13"},
        {R"({"protocol":"x" "handshake":"y"})", "400 expected `,` or `}` at line 1 column 17"},
        {R"({"protocol":"x",})", "400 trailing comma at line 1 column 17"},
        {R"({1:2})", "400 key must be a string at line 1 column 2"},
        {R"({"protocol":"x",1})", "400 key must be a string at line 1 column 17"},
        {R"({"protocol":})", "400 protocol: expected value at line 1 column 13"},
        {R"({"protocol":tru})", "400 protocol: expected ident at line 1 column 16"},
        {R"({"protocol":nul)", "400 protocol: EOF while parsing a value at line 1 column 15"},
        // After the value only white space may follow.
        {kJob + " \r\n\t", "ok"},
        {kJob + " {}", "400 trailing characters at line 1 column 70"},
        {kJob + ",", "400 trailing characters at line 1 column 69"},
        // Positions count lines; a column is 0 right after a line break.
        {"{\n  \"protocol\": 5\n}", "422 protocol: invalid type: integer `5`, expected a string at line 2 column 15"},
        {"{\"protocol\":\n", "400 protocol: EOF while parsing a value at line 2 column 0"},
    };
    for (const Case& c : cases) EXPECT_EQ(http(c.json), c.expected) << c.json;
}

TEST(RequestSyntaxFaults, StringsEscapesAndUtf8) {
    const Case cases[] = {
        {R"({"protocol":"abc)", "400 protocol: EOF while parsing a string at line 1 column 16"},
        {R"({"protocol":"\x"})", "400 protocol: invalid escape at line 1 column 15"},
        {R"({"protocol":"\u12"})", "400 protocol: invalid escape at line 1 column 19"},
        {R"({"protocol":"\u12)", "400 protocol: EOF while parsing a string at line 1 column 17"},
        {R"({"protocol":"\uD800"})", "400 protocol: unexpected end of hex escape at line 1 column 20"},
        {R"({"protocol":"\uDC00"})", "400 protocol: lone leading surrogate in hex escape at line 1 column 19"},
        {R"({"protocol":"\uD800\u0041"})", "400 protocol: lone leading surrogate in hex escape at line 1 column 25"},
        {"{\"protocol\":\"a\x01\"}",
         "400 protocol: control character (\\u0000-\\u001F) found while parsing a string at line 1 column 15"},
        // Raw bytes must be UTF-8: checked once the string has ended, in values and keys alike,
        // also where the value is skipped.
        {"{\"protocol\":\"\xff\"}", "400 protocol: invalid unicode code point at line 1 column 15"},
        {"{\"protocol\":\"\xed\xa0\x80\"}", "400 protocol: invalid unicode code point at line 1 column 17"},
        {"{\"x\":\"\xc3\"}", "400 x: invalid unicode code point at line 1 column 8"},
        {"{\"\xc3\":1}", "400 invalid unicode code point at line 1 column 4"},
        {"{\"x\":\"\xc3\xa9\\u00e9\xf0\x9f\x98\x80\"," + kJob.substr(1), "ok"},
    };
    for (const Case& c : cases) EXPECT_EQ(http(c.json), c.expected) << c.json;
}

// Long strings are scanned many bytes at a time: the closing quote, an escape, a control byte
// and a byte outside ASCII are each met wherever they stand in a long value.
TEST(RequestSyntaxFaults, LongStringsWhereverTheirSpecialBytesStand) {
    constexpr std::size_t kLength = 300;
    const std::string head = R"({"protocol":")";  // the value's first byte is at offset 13
    const auto job = [](const std::string& protocol) {
        return R"({"protocol":")" + protocol + R"(","handshake":")" + std::string(kLength, 'h') +
               R"(","transport":["ble","n"],"labels":[]})";
    };
    for (std::size_t at = 0; at < kLength; ++at) {
        SCOPED_TRACE(at);
        const std::string plain(kLength, 'p');
        auto read = parvello::read_job_envelope(job(plain.substr(0, at)), parvello::ReadMode::HttpBody);
        ASSERT_TRUE(read.has_value()) << read.error().message();
        EXPECT_EQ(read->protocol, plain.substr(0, at));
        EXPECT_EQ(read->handshake, std::string(kLength, 'h'));

        std::string escaped = plain;
        escaped.replace(at, 1, "\\n");
        read = parvello::read_job_envelope(job(escaped), parvello::ReadMode::HttpBody);
        ASSERT_TRUE(read.has_value()) << read.error().message();
        EXPECT_EQ(read->protocol, plain.substr(0, at) + "\n" + plain.substr(at + 1));

        std::string accented = plain;
        accented.replace(at, 1, "\xc3\xa9");
        EXPECT_EQ(http(job(accented)), "ok");

        std::string control = plain;
        control[at] = '\x01';
        EXPECT_EQ(http(head + control + R"("})"),
                  "400 protocol: control character (\\u0000-\\u001F) found while parsing a string at line 1 column " +
                      std::to_string(14 + at));

        std::string invalid = plain;
        invalid[at] = '\xff';
        EXPECT_EQ(http(head + invalid + R"("})"),
                  "400 protocol: invalid unicode code point at line 1 column " + std::to_string(14 + kLength));
    }
}

TEST(RequestSyntaxFaults, Numbers) {
    const Case cases[] = {
        {R"({"protocol":01})", "400 protocol: invalid number at line 1 column 14"},
        {R"({"protocol":-})", "400 protocol: invalid number at line 1 column 14"},
        {R"({"protocol":-)", "400 protocol: EOF while parsing a value at line 1 column 13"},
        {R"({"protocol":1.})", "400 protocol: invalid number at line 1 column 15"},
        {R"({"protocol":1.)", "400 protocol: EOF while parsing a value at line 1 column 14"},
        {R"({"protocol":1e})", "400 protocol: invalid number at line 1 column 15"},
        {R"({"protocol":1e999})", "400 protocol: number out of range at line 1 column 17"},
        {R"({"protocol":+1})", "400 protocol: expected value at line 1 column 13"},
        {R"({"protocol":.5})", "400 protocol: expected value at line 1 column 13"},
        // Well-formed numbers of the wrong type, as the messages show them.
        {R"({"protocol":1.5e3})",
         "422 protocol: invalid type: floating point `1500.0`, expected a string at line 1 column 17"},
        {R"({"protocol":-0})",
         "422 protocol: invalid type: floating point `-0.0`, expected a string at line 1 column 14"},
        {R"({"protocol":1e-999})",
         "422 protocol: invalid type: floating point `0.0`, expected a string at line 1 column 18"},
        {R"({"protocol":0.00001})",
         "422 protocol: invalid type: floating point `0.00001`, expected a string at line 1 column 19"},
        {R"({"protocol":0.000001})",
         "422 protocol: invalid type: floating point `1e-6`, expected a string at line 1 column 20"},
        {R"({"protocol":-9223372036854775808})",
         "422 protocol: invalid type: integer `-9223372036854775808`, expected a string at line 1 column 32"},
    };
    for (const Case& c : cases) EXPECT_EQ(http(c.json), c.expected) << c.json;
}

TEST(RequestSyntaxFaults, SkippedValuesAreStillChecked) {
    const Case cases[] = {
        {R"({"x":[1,]})", "400 x: trailing comma at line 1 column 9"},
        {R"({"x":[1 2]})", "400 x: expected `,` or `]` at line 1 column 9"},
        {R"({"x":{"a" 1}})", "400 x: expected `:` at line 1 column 11"},
        {R"({"x":{"a":1,}})", "400 x: trailing comma at line 1 column 13"},
        {R"({"x":{1:2}})", "400 x: key must be a string at line 1 column 7"},
        {R"({"x":[)", "400 x: EOF while parsing a list at line 1 column 6"},
        {R"({"x":{"a":1)", "400 x: EOF while parsing an object at line 1 column 11"},
        {R"({"x":"\q"})", "400 x: invalid escape at line 1 column 8"},
        {R"({"x":[{"a":[true,fals]}]})", "400 x: expected ident at line 1 column 22"},
    };
    for (const Case& c : cases) EXPECT_EQ(http(c.json), c.expected) << c.json;
}

TEST(RequestSyntaxFaults, FirstFaultInTextOrderWins) {
    // A type fault before a syntax fault, and the other way round.
    EXPECT_EQ(http(R"({"protocol":5,"handshake":)"),
              "422 protocol: invalid type: integer `5`, expected a string at line 1 column 13");
    EXPECT_EQ(http(R"({"protocol":"p" "handshake":5})"), "400 expected `,` or `}` at line 1 column 17");
    // Missing fields are known only at the closing brace, so a syntax fault before it wins.
    EXPECT_EQ(http(R"({"protocol":"p",])"), "400 key must be a string at line 1 column 17");
    // A body missing both `handshake` and `labels` names only the first.
    EXPECT_EQ(http(R"({"protocol":"p","transport":["ble","n"]})"), "422 missing field `handshake` at line 1 column 40");
}

TEST(RequestSyntaxFaults, NestingLimit) {
    // The job object is the first level: 126 arrays inside it make 127 levels.
    EXPECT_EQ(http(job_with_nesting(126)), "ok");
    EXPECT_EQ(http(job_with_nesting(127)), "400 x: recursion limit exceeded at line 1 column 131");
    // The levels of the records count too: job, labels, label, then the unknown key's value.
    const std::string deep_label = kJob.substr(0, 66) + R"({"data_base64":"","x":)";
    EXPECT_EQ(http(deep_label + std::string(124, '[') + std::string(124, ']') + "}]}"), "ok");
    EXPECT_EQ(http(deep_label + std::string(125, '[') + std::string(125, ']') + "}]}"),
              "400 labels[0].x: recursion limit exceeded at line 1 column 212");
    // A very deep text stops at the limit.
    EXPECT_EQ(request_test::websocket(R"({"x":)" + std::string(100000, '[')),
              "400 recursion limit exceeded at line 1 column 131");
}
