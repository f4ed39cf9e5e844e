#include "pvo-driver-niimbot/packet.hpp"

#include <stdexcept>

#include <gtest/gtest.h>

#include "pvo-driver-niimbot/variant.hpp"

using namespace pvo_driver_niimbot;

namespace {

// A framed packet of `size` bytes in all (payload size - 7) with the given command.
Bytes packet_of_size(std::uint8_t command, std::size_t size) { return build_packet(command, Bytes(size - 7, 0x5A)); }

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes request{0x55, 0x55, 0xA3, 0x01, 0x01, 0xA3, 0xAA, 0xAA};

}  // namespace

TEST(NiimbotPacket, BuildsFramesWithTheXorChecksum) {
    EXPECT_EQ(build_packet(0xA3, Bytes{0x01}), request);
    EXPECT_EQ(status_request(), request);
    EXPECT_EQ(build_packet(0xB3, {}), (Bytes{0x55, 0x55, 0xB3, 0x00, 0xB3, 0xAA, 0xAA}));
    EXPECT_EQ(build_packet(0x01, Bytes{0x0F, 0xF0, 0x33}),
              (Bytes{0x55, 0x55, 0x01, 0x03, 0x0F, 0xF0, 0x33, 0x01 ^ 0x03 ^ 0x0F ^ 0xF0 ^ 0x33, 0xAA, 0xAA}));

    const Bytes longest = build_packet(0x20, Bytes(255, 1));
    EXPECT_EQ(longest.size(), 255u + 7u);
    EXPECT_EQ(longest[3], 0xFF);
    EXPECT_THROW(build_packet(0x20, Bytes(256, 1)), std::length_error);
}

TEST(NiimbotPacket, ScanFindsFramedPacketsOnly) {
    const Bytes status = build_packet(0xB3, Bytes{0x00, 0x01, 0x64, 0x64});
    struct Case {
        const char* name;
        Bytes input;
        std::vector<Bytes> pieces;
    };
    const Case cases[] = {
        {"leading noise is dropped", concat({{0x00}, request}), {request}},
        {"no packet: the input whole", {0x01, 0x02, 0x03}, {{0x01, 0x02, 0x03}}},
        {"empty input: nothing", {}, {}},
        {"a candidate running past the end stops the scan",
         concat({request, {0x55, 0x55, 0x01, 0x09, 0x00}}),
         {request}},
        {"the checksum is not checked",
         {0x55, 0x55, 0xA3, 0x01, 0x01, 0x00, 0xAA, 0xAA},
         {{0x55, 0x55, 0xA3, 0x01, 0x01, 0x00, 0xAA, 0xAA}}},
        // The first candidate lacks its trailer; it is skipped whole, with the 55 55 inside it.
        {"a candidate without AA AA is skipped whole",
         concat({{0x55, 0x55, 0x01, 0x02, 0x55, 0x55, 0x00, 0x00, 0x00}, status}),
         {status}},
        {"noise between packets is dropped", concat({request, {0x00, 0x13}, status, {0xAA}}), {request, status}},
        // The stray 55 and the packet's first 55 read as a head whose length byte (B3) runs
        // past the end.
        {"a stray 55 right before a packet ends the scan", concat({request, {0x55}, status}), {request}},
        {"a lone head at the very end", concat({request, {0x55, 0x55, 0x01}}), {request}},
    };
    for (const auto& c : cases) EXPECT_EQ(scan_packets(c.input), c.pieces) << c.name;
}

TEST(NiimbotPacket, FindsTheFirstPrintStatus) {
    struct Case {
        const char* name;
        Bytes input;
        std::optional<PrintProgress> found;
    };
    const Case cases[] = {
        {"page 2, 100 and 50",
         {0x55, 0x55, 0xB3, 0x04, 0x00, 0x02, 0x64, 0x32, 0x00, 0xAA, 0xAA},
         PrintProgress{2, 100, 50}},
        {"page is big-endian", build_packet(0xB3, Bytes{0x01, 0x02, 0x03, 0x04}), PrintProgress{0x0102, 3, 4}},
        {"n = 3 is too short", {0x55, 0x55, 0xB3, 0x03, 0x00, 0x02, 0x64, 0x00, 0xAA, 0xAA}, std::nullopt},
        {"longer payloads are read from their start", build_packet(0xB3, Bytes{0, 7, 1, 2, 9, 9, 9}),
         PrintProgress{7, 1, 2}},
        {"neither checksum nor trailer matter",
         {0x55, 0x55, 0xB3, 0x04, 0x00, 0x01, 0x0A, 0x0B, 0xEE, 0x00, 0x00},
         PrintProgress{1, 10, 11}},
        {"other packets before it are passed over", concat({{0x13}, request, build_packet(0xB3, Bytes{0, 3, 40, 40})}),
         PrintProgress{3, 40, 40}},
        {"the first one wins", concat({build_packet(0xB3, Bytes{0, 1, 5, 6}), build_packet(0xB3, Bytes{0, 2, 7, 8})}),
         PrintProgress{1, 5, 6}},
        {"cut short", {0x55, 0x55, 0xB3, 0x04, 0x00, 0x02, 0x64, 0x32, 0x00, 0xAA}, std::nullopt},
        {"a truncated packet ahead ends the search",
         concat({{0x55, 0x55, 0x01, 0xFF}, build_packet(0xB3, Bytes{0, 1, 5, 6})}), std::nullopt},
        {"nothing", {}, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(find_print_status(c.input), c.found) << c.name;
}

TEST(NiimbotPacket, SplitsOffTheFinalPrintEndPacket) {
    const Bytes a = packet_of_size(0x85, 20);
    const Bytes b = packet_of_size(0x85, 30);
    const Bytes end = build_packet(0xF3, Bytes{0x01});
    struct Case {
        const char* name;
        Bytes job;
        SplitJob split;
    };
    const Case cases[] = {
        {"packets then F3", concat({a, b, end}), {concat({a, b}), end}},
        {"noise between packets is not kept", concat({a, {0x00, 0x11}, b, end}), {concat({a, b}), end}},
        {"F3 alone", end, {{}, end}},
        {"F3 not last", concat({a, end, b}), {concat({a, end, b}), std::nullopt}},
        {"no F3", concat({a, b}), {concat({a, b}), std::nullopt}},
        {"unframed job", {0x01, 0x02, 0x03, 0x04}, {{0x01, 0x02, 0x03, 0x04}, std::nullopt}},
        {"a short unframed job is never a final packet", {0x00, 0x00, 0xF3}, {{0x00, 0x00, 0xF3}, std::nullopt}},
    };
    for (const auto& c : cases) EXPECT_EQ(split_final_packet(c.job), c.split) << c.name;
}

TEST(NiimbotPacket, RepacksWithoutSplittingAPacket) {
    const Bytes p100 = packet_of_size(0x85, 100);
    const Bytes p240 = packet_of_size(0x85, 240);
    const Bytes p241 = packet_of_size(0x85, 241);
    const Bytes p140 = packet_of_size(0x85, 140);
    struct Case {
        const char* name;
        std::vector<Bytes> packets;
        std::vector<std::size_t> write_sizes;
    };
    const Case cases[] = {
        {"three 100-byte packets", {p100, p100, p100}, {200, 100}},
        {"exactly the limit stays one write", {p100, p140}, {240}},
        {"a packet over the limit is a write of its own", {p100, p241, p100}, {100, 241, 100}},
        {"a packet at the limit", {p240, p100}, {240, 100}},
        {"empty packets are skipped", {{}, p100, {}, p100}, {200}},
        {"nothing", {}, {}},
        {"only empty packets", {{}, {}}, {}},
    };
    for (const auto& c : cases) {
        const auto writes = repack_packets(c.packets);
        std::vector<std::size_t> sizes;
        Bytes joined;
        for (const auto& w : writes) {
            sizes.push_back(w.size());
            joined.insert(joined.end(), w.begin(), w.end());
        }
        Bytes expected;
        for (const auto& p : c.packets) expected.insert(expected.end(), p.begin(), p.end());
        EXPECT_EQ(sizes, c.write_sizes) << c.name;
        EXPECT_EQ(joined, expected) << c.name << ": every byte, in order";
    }
}

TEST(NiimbotVariant, FoldsAsciiCaseWithoutTrimming) {
    struct Case {
        std::string_view text;
        std::optional<NiimbotVariant> variant;
    };
    const Case cases[] = {
        {"standard", NiimbotVariant::Standard},
        {"STANDARD", NiimbotVariant::Standard},
        {"v4", NiimbotVariant::V4},
        {"V4", NiimbotVariant::V4},
        {"b1", NiimbotVariant::B1},
        {"B1", NiimbotVariant::B1},
        {" b1", std::nullopt},
        {"b1 ", std::nullopt},
        {"b2", std::nullopt},
        {"", std::nullopt},
        {"b\xC4\xB1", std::nullopt},  // dotless i is not folded
    };
    for (const auto& c : cases) EXPECT_EQ(parse_niimbot_variant(c.text), c.variant) << c.text;
}
