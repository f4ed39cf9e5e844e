#include "pvo-status/parse_status.hpp"

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

using Reply = std::span<const std::uint8_t>;
using Parsed = std::expected<PrintStatus, StatusError>;

// Lifts a family parser's own report type into the report variant.
template <typename Report>
Parsed lift(std::expected<Report, StatusError> report) {
    if (!report) return std::unexpected(std::move(report.error()));
    return PrintStatus(std::move(*report));
}

Parsed parse_lw550(Reply reply) {
    const auto engine = parse_print_engine_status(reply);
    if (!engine) return std::unexpected(engine.error());
    return PrintStatus(build_lw550_report(*engine));
}

Parsed parse_niimbot(Reply reply) {
    const auto found = pvo_niimbot::find_print_status(reply);
    if (!found) return std::unexpected(StatusError("no NIIMBOT print-status reply in buffer"));
    return PrintStatus(niimbot_report(found->page, found->progress1, found->progress2));
}

Parsed parse_letratag(Reply reply) {
    constexpr std::size_t status_size = 3;
    if (reply.size() < status_size) {
        return std::unexpected(StatusError("short LetraTag advertising status (" +
                                           std::to_string(reply.size()) + " bytes, expected 3)"));
    }
    return PrintStatus(decode_letratag_status(reply.first<status_size>()));
}

Parsed parse_gpgl(Reply reply) {
    const auto state = parse_gpgl_status_line(reply);
    if (!state) return std::unexpected(StatusError("unrecognized GPGL status response"));
    return PrintStatus(gpgl_report(*state));
}

}  // namespace

Parsed parse_status(Protocol protocol, Reply reply) {
    switch (protocol) {
        case Protocol::Dymo:
            if (reply.empty()) return std::unexpected(StatusError("empty D1 status reply"));
            return PrintStatus(decode_d1_status(reply.front()));
        case Protocol::DymoLwClassic:
            if (reply.empty()) return std::unexpected(StatusError("empty classic LW status reply"));
            return PrintStatus(decode_classic_lw_status(reply.front()));
        case Protocol::DymoLw:
            return parse_lw550(reply);
        case Protocol::Zpl:
            return lift(parse_zpl_host_status(reply));
        case Protocol::Niimbot:
            return parse_niimbot(reply);
        case Protocol::LetraTag:
            return parse_letratag(reply);
        case Protocol::BrotherQl:
            return lift(parse_brother_ql_status(reply));
        case Protocol::BrotherPt:
            return lift(parse_brother_pt_status(reply));
        case Protocol::Gpgl:
            return parse_gpgl(reply);
        default:
            break;
    }
    return std::unexpected(StatusError("status parsing not supported for protocol " +
                                       std::string(message_name(protocol))));
}

}  // namespace pvo_status
