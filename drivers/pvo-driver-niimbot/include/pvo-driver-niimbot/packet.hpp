#pragma once
// The framed packets NIIMBOT printers speak, both ways:
//
//   55 55 | command | n | n payload bytes | command ^ n ^ payload... | AA AA
//
// A print-status packet (command B3, n >= 4) carries the page number (big-endian 16-bit) and
// two progress bytes. The reading functions here are lenient on purpose: a printer's replies
// are searched, not validated, so a bad checksum never hides a status.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pvo_driver_niimbot {

using Bytes = std::vector<std::uint8_t>;

// The command of a print-status reply, of a status request, and of the print-end packet that
// closes a job.
inline constexpr std::uint8_t print_status_command = 0xB3;
inline constexpr std::uint8_t status_request_command = 0xA3;
inline constexpr std::uint8_t print_end_command = 0xF3;

// Packs a command and its payload with the checksum and the frame markers. The length is one
// byte, so a payload over 255 bytes cannot be framed: std::length_error.
Bytes build_packet(std::uint8_t command, std::span<const std::uint8_t> payload);

// The print-status request: 55 55 A3 01 01 A3 AA AA.
Bytes status_request();

// The framed packets found in `bytes`, in order; bytes between packets are dropped and the
// checksum is not checked. A candidate whose length runs past the end stops the scan. When no
// packet is found, non-empty input comes back whole as one piece (so a job that is not framed
// at all still goes out unchanged).
std::vector<Bytes> scan_packets(std::span<const std::uint8_t> bytes);

struct PrintProgress {
    std::uint16_t page = 0;
    std::uint8_t progress1 = 0;
    std::uint8_t progress2 = 0;
    bool operator==(const PrintProgress&) const = default;
};

// The first print-status packet in `bytes`: command B3 with at least four payload bytes, whole
// within the input. Neither the checksum nor the AA AA trailer is looked at.
std::optional<PrintProgress> find_print_status(std::span<const std::uint8_t> bytes);

struct SplitJob {
    Bytes rest;
    std::optional<Bytes> final_packet;
    bool operator==(const SplitJob&) const = default;
};

// When the job's last packet is a print-end packet (command F3), takes it out: `rest` is then
// every earlier packet, back to back. Otherwise `rest` is the whole job unchanged.
SplitJob split_final_packet(std::span<const std::uint8_t> job);

// The most bytes one regrouped write holds, unless a single packet is longer.
inline constexpr std::size_t write_limit = 240;

// Groups packets into writes of at most `limit` bytes, in order. A packet is never split (one
// longer than the limit is a write of its own) and an empty packet is skipped.
std::vector<Bytes> repack_packets(const std::vector<Bytes>& packets, std::size_t limit = write_limit);

}  // namespace pvo_driver_niimbot
