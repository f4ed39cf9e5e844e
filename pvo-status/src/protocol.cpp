#include "pvo-status/protocol.hpp"

#include "pvo-util/text.hpp"

namespace pvo_status {
namespace {

struct Names {
    std::string_view message;
    std::string_view wire;
};

constexpr std::array<Names, protocol_count> names{{
    {"Dymo", "dymo"},
    {"DymoLw", "dymolw"},
    {"DymoLwClassic", "dymolwclassic"},
    {"EscPos", "escpos"},
    {"EscLabel", "esclabel"},
    {"Phomemo", "phomemo"},
    {"PhomemoM02x", "phomemom02x"},
    {"PhomemoM110", "phomemom110"},
    {"PhomemoD30", "phomemod30"},
    {"Zpl", "zpl"},
    {"Tspl", "tspl"},
    {"Slcs", "slcs"},
    {"Ezpl", "ezpl"},
    {"Sbpl", "sbpl"},
    {"Dpl", "dpl"},
    {"Tpcl", "tpcl"},
    {"Niimbot", "niimbot"},
    {"LetraTag", "letratag"},
    {"BrotherQl", "brotherql"},
    {"BrotherPt", "brotherpt"},
    {"Gpgl", "gpgl"},
    {"Virtual", "virtual"},
    {"Console", "console"},
    {"Html", "html"},
}};

// A value outside the enumeration (only reachable through a bad cast) has empty names rather
// than reading past the table.
Names names_of(Protocol protocol) noexcept {
    const auto index = static_cast<std::size_t>(protocol);
    return index < protocol_count ? names[index] : Names{};
}

}  // namespace

std::string_view wire_name(Protocol protocol) noexcept { return names_of(protocol).wire; }

std::string_view message_name(Protocol protocol) noexcept { return names_of(protocol).message; }

std::expected<Protocol, std::string> protocol_from_wire_name(std::string_view text) {
    for (Protocol p : all_protocols) {
        if (wire_name(p) == text) return p;
    }
    std::string error = "unknown variant `";
    error.append(text).append("`, expected one of ");
    for (std::size_t i = 0; i < protocol_count; ++i) {
        if (i != 0) error += ", ";
        error.append("`").append(names[i].wire).append("`");
    }
    return std::unexpected(std::move(error));
}

std::expected<Protocol, std::string> protocol_from_request_name(std::string_view text) {
    if (auto found = protocol_from_wire_name(pvo_util::ascii_lower(text))) return *found;
    return std::unexpected("unknown protocol: " + std::string(text));
}

}  // namespace pvo_status
