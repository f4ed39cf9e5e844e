#include "pvo-status/status_query.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pvo_status {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(StatusQueryBytes, EveryProtocolWithAStatusRoad) {
    const std::vector<std::pair<Protocol, Bytes>> cases = {
        {Protocol::Dymo, {0x1B, 0x41}},
        {Protocol::DymoLwClassic, {0x1B, 0x41}},
        {Protocol::DymoLw, {0x1B, 0x41, 0x00}},
        {Protocol::Zpl, {0x7E, 0x48, 0x53, 0x0D, 0x0A}},
        {Protocol::Niimbot, {0x55, 0x55, 0xA3, 0x01, 0x01, 0xA3, 0xAA, 0xAA}},
        {Protocol::LetraTag, {}},
        {Protocol::BrotherQl, {0x1B, 0x69, 0x53}},
        {Protocol::BrotherPt, {0x1B, 0x69, 0x53}},
        {Protocol::Gpgl, {0x1B, 0x05}},
    };
    for (const auto& [protocol, bytes] : cases) {
        SCOPED_TRACE(std::string(message_name(protocol)));
        const auto query = status_query_bytes(protocol);
        ASSERT_TRUE(query.has_value());
        EXPECT_EQ(*query, bytes);
    }
}

TEST(StatusQueryBytes, Refusals) {
    EXPECT_EQ(status_query_bytes(Protocol::Tspl).error().message,
              "tspl identity uses USB GET_DEVICE_ID control transfer, not a bulk query");
    for (const Protocol protocol : {Protocol::EscPos, Protocol::Html, Protocol::Phomemo, Protocol::Virtual}) {
        EXPECT_EQ(status_query_bytes(protocol).error().message,
                  "status query not supported for protocol " + std::string(message_name(protocol)));
    }
}

TEST(StatusReplyLength, ByProtocol) {
    const std::vector<std::pair<Protocol, std::size_t>> cases = {
        {Protocol::DymoLw, 32}, {Protocol::BrotherQl, 32},    {Protocol::BrotherPt, 32},
        {Protocol::Dymo, 1},    {Protocol::DymoLwClassic, 1}, {Protocol::LetraTag, 3},
        {Protocol::Zpl, 256},   {Protocol::Niimbot, 64},      {Protocol::Gpgl, 64},
    };
    for (const auto& [protocol, length] : cases) {
        EXPECT_EQ(status_reply_length(protocol), length) << message_name(protocol);
    }
}

}  // namespace
}  // namespace pvo_status
