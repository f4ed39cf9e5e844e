#include "parvello/base64.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <span>

#include "base64_encoder.hpp"
#include "job/base64_exact.hpp"

namespace parvello {
namespace {

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(DecodeBase64, Table) {
    struct Case {
        std::string_view input;
        std::optional<std::vector<std::uint8_t>> decoded;  // none: refused with `error`
        std::string_view error = {};
    };
    const Case cases[] = {
        {"", bytes("")},
        {"QUJD", bytes("ABC")},
        {"QUI=", bytes("AB")},
        {"QQ==", bytes("A")},
        {"AAAA", std::vector<std::uint8_t>{0, 0, 0}},
        {"+/+/", std::vector<std::uint8_t>{0xfb, 0xff, 0xbf}},
        {"AAECAwQFBgcICQoL", std::vector<std::uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        // Blanks are not trimmed here, and a blank inside is a symbol like any other.
        {"QU JD", std::nullopt, "Invalid symbol 32, offset 2."},
        {" QUJD", std::nullopt, "Invalid symbol 32, offset 0."},
        {"QUJD\n", std::nullopt, "Invalid symbol 10, offset 4."},
        // The URL-safe alphabet is another alphabet.
        {"QU-_", std::nullopt, "Invalid symbol 45, offset 2."},
        {"AA!A", std::nullopt, "Invalid symbol 33, offset 2."},
        // A byte outside ASCII is named by its own (first UTF-8) byte.
        {"QU\xc3\xa9", std::nullopt, "Invalid symbol 195, offset 2."},
        // Symbols are checked before the length: the first fault in the text wins.
        {"A!", std::nullopt, "Invalid symbol 33, offset 1."},
        {"AAAAQ!J!", std::nullopt, "Invalid symbol 33, offset 5."},
        {"AAAAQUJ!A", std::nullopt, "Invalid symbol 33, offset 7."},
        {"AAAAQUJDQ!", std::nullopt, "Invalid symbol 33, offset 9."},
        // "=" before the closing padding is no padding.
        {"QQ==QUJD", std::nullopt, "Invalid symbol 61, offset 2."},
        {"Q=I=", std::nullopt, "Invalid symbol 61, offset 1."},
        {"QUJDQ=JD", std::nullopt, "Invalid symbol 61, offset 5."},
        // One symbol left over encodes no byte; the count leaves the padding out.
        {"A", std::nullopt, "Invalid input length: 1"},
        {"QUJDQ", std::nullopt, "Invalid input length: 5"},
        {"A===", std::nullopt, "Invalid input length: 1"},
        // Exactly the padding the data needs.
        {"QUI", std::nullopt, "Invalid padding"},
        {"QUI==", std::nullopt, "Invalid padding"},
        {"QQ", std::nullopt, "Invalid padding"},
        {"QQ=", std::nullopt, "Invalid padding"},
        {"QQ===", std::nullopt, "Invalid padding"},
        {"QUJD=", std::nullopt, "Invalid padding"},
        {"=", std::nullopt, "Invalid padding"},
        {"====", std::nullopt, "Invalid padding"},
        // The low bits that the last symbol carries beyond the data must be zero.
        {"QR==", std::nullopt, "Invalid last symbol 82, offset 1."},
        {"QUJ=", std::nullopt, "Invalid last symbol 74, offset 2."},
        {"QUI/", bytes("AB?")},
        {"AAAAQUL=", std::nullopt, "Invalid last symbol 76, offset 6."},
        {"AAAAQR==", std::nullopt, "Invalid last symbol 82, offset 5."},
        {"AAAAQUJDQUI=", std::vector<std::uint8_t>{0, 0, 0, 65, 66, 67, 65, 66}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "input: \"" << c.input << "\"");
        const auto result = decode_base64(c.input);
        if (c.decoded) {
            ASSERT_TRUE(result.has_value()) << result.error();
            EXPECT_EQ(*result, *c.decoded);
        } else {
            ASSERT_FALSE(result.has_value());
            EXPECT_EQ(result.error(), c.error);
        }
    }
}

// Every byte value survives a round trip through a plain encoder, at every length mod 3.
TEST(DecodeBase64, DecodesWhatAStandardEncoderWrites) {
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 256; ++i) data.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    for (std::size_t len = 250; len <= 256; ++len) {
        const std::span<const std::uint8_t> in(data.data(), len);
        const auto decoded = decode_base64(test::encode_base64(in));
        ASSERT_TRUE(decoded.has_value()) << decoded.error();
        EXPECT_TRUE(std::equal(decoded->begin(), decoded->end(), in.begin(), in.end())) << len;
    }
}

// Valid text takes a faster road than faulty text; both must agree with the exact decoder on
// every text: at lengths around the fast road's sixteen-symbol steps, with a fault placed at
// each position in turn, and with each possible last symbol.
TEST(DecodeBase64, AgreesWithTheExactDecoderAroundEveryFault) {
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 60; ++i) data.push_back(static_cast<std::uint8_t>(i * 37 + 11));
    const std::string_view faults[] = {"!", "=", " ", "\xc3", "-", "\n"};
    std::size_t refused = 0;
    for (std::size_t len = 0; len <= data.size(); ++len) {
        const std::string text = test::encode_base64(std::span(data.data(), len));
        std::vector<std::string> variants{text, text + "=", text.substr(0, text.size() / 2)};
        for (std::size_t at = 0; at < text.size(); ++at) {
            for (const std::string_view fault : faults) {
                std::string faulty = text;
                faulty.replace(at, 1, fault);
                variants.push_back(std::move(faulty));
            }
        }
        if (!text.empty()) {
            const std::size_t last = text.find_last_not_of('=');
            for (const char symbol : std::string_view("AQgw/+9z")) {
                std::string other = text;
                other[last] = symbol;
                variants.push_back(std::move(other));
            }
        }
        for (const std::string& variant : variants) {
            const auto fast = decode_base64(variant);
            ASSERT_EQ(fast, decode_base64_exact(variant)) << "input: \"" << variant << "\"";
            refused += !fast;
        }
    }
    EXPECT_GT(refused, 1000u);  // the faults above did reach the fault messages
}

// Long texts go 32 symbols at a time, each byte classed by its two halves: every byte value at
// every position of a block in the middle of a text is decoded or refused as the exact decoder
// does it.
TEST(DecodeBase64, AgreesWithTheExactDecoderOnEveryByteOfABlock) {
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 72; ++i) data.push_back(static_cast<std::uint8_t>(i * 91 + 5));
    const std::string text = test::encode_base64(data);  // 96 symbols: three blocks of 32
    std::size_t decoded = 0;
    for (std::size_t at = 32; at < 64; ++at) {
        for (int byte = 0; byte < 256; ++byte) {
            std::string variant = text;
            variant[at] = static_cast<char>(byte);
            const auto fast = decode_base64(variant);
            ASSERT_EQ(fast, decode_base64_exact(variant)) << "byte " << byte << " at " << at;
            decoded += fast.has_value();
        }
    }
    EXPECT_EQ(decoded, 32u * 64u);  // each of the 64 symbols, at each position
}

}  // namespace
}  // namespace parvello
