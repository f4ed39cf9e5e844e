// The status families: for each protocol whose printers answer a status request, the bytes
// that ask, how much of the answer is read, and the parser that turns it into a report. The
// status query and the reply dispatch both look a protocol up here, so a new family is one
// row below and its own parser file.
#include "pvo-status/parse_status.hpp"
#include "pvo-status/status_query.hpp"

#include <algorithm>
#include <array>
#include <string>

#include "pvo-driver-niimbot/packet.hpp"
#include "pvo-status/brother_status.hpp"
#include "pvo-status/dymo_status.hpp"
#include "pvo-status/gpgl_status.hpp"
#include "pvo-status/letratag_status.hpp"
#include "pvo-status/niimbot_status.hpp"
#include "pvo-status/zpl_status.hpp"

namespace pvo_status {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Reply = std::span<const std::uint8_t>;
using Parsed = std::expected<PrintStatus, StatusError>;

struct StatusFamily {
    Protocol protocol;
    Bytes (*query)();          // the request bytes; empty when the printer is only listened to
    std::size_t reply_length;  // how many bytes the status query reads
    Parsed (*parse)(Reply);
};

template <std::uint8_t... B>
Bytes bytes() {
    return {B...};
}

// A family parser's own report, lifted into the report variant.
template <auto Parse>
Parsed report_of(Reply reply) {
    auto report = Parse(reply);
    if (!report) return std::unexpected(std::move(report.error()));
    return PrintStatus(std::move(*report));
}

// What a protocol without a row of its own reads: enough for any short status answer.
constexpr std::size_t default_reply_length = 64;

constexpr auto families = std::to_array<StatusFamily>({
    {Protocol::Dymo, bytes<0x1B, 0x41>, 1, report_of<parse_d1_status>},
    {Protocol::DymoLw, bytes<0x1B, 0x41, 0x00>, engine_status_size, report_of<parse_lw550_status>},
    {Protocol::DymoLwClassic, bytes<0x1B, 0x41>, 1, report_of<parse_classic_lw_status>},
    // A host-status reply is three framed lines of about 85 bytes; a shorter read would cut
    // off the head flag and leave the rest to be taken as the next query's reply.
    {Protocol::Zpl, bytes<'~', 'H', 'S', '\r', '\n'>, 256, report_of<parse_zpl_host_status>},
    // Command A3 with the one data byte 01, framed as a NIIMBOT packet.
    {Protocol::Niimbot, pvo_driver_niimbot::status_request, default_reply_length, report_of<parse_niimbot_status>},
    {Protocol::LetraTag, bytes<>, letratag_status_size, report_of<parse_letratag_status>},
    {Protocol::BrotherQl, bytes<0x1B, 0x69, 0x53>, brother_status_reply_size, report_of<parse_brother_ql_status>},
    {Protocol::BrotherPt, bytes<0x1B, 0x69, 0x53>, brother_status_reply_size, report_of<parse_brother_pt_status>},
    {Protocol::Gpgl, bytes<0x1B, 0x05>, default_reply_length, report_of<parse_gpgl_status>},
});

const StatusFamily* family_of(Protocol protocol) noexcept {
    const auto found = std::ranges::find(families, protocol, &StatusFamily::protocol);
    return found == families.end() ? nullptr : &*found;
}

StatusError unsupported(std::string_view what, Protocol protocol) {
    return StatusError(std::string(what) + " not supported for protocol " + std::string(message_name(protocol)));
}

}  // namespace

std::expected<Bytes, StatusError> status_query_bytes(Protocol protocol) {
    // tspl printers have no status family: their status is the identity read over USB.
    if (protocol == Protocol::Tspl) {
        return std::unexpected(StatusError("tspl identity uses USB GET_DEVICE_ID control transfer, not a bulk query"));
    }
    const StatusFamily* family = family_of(protocol);
    if (!family) return std::unexpected(unsupported("status query", protocol));
    return family->query();
}

std::size_t status_reply_length(Protocol protocol) noexcept {
    const StatusFamily* family = family_of(protocol);
    return family ? family->reply_length : default_reply_length;
}

Parsed parse_status(Protocol protocol, Reply reply) {
    const StatusFamily* family = family_of(protocol);
    if (!family) return std::unexpected(unsupported("status parsing", protocol));
    return family->parse(reply);
}

}  // namespace pvo_status
