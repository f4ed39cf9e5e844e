#pragma once
// The command language a device speaks, with its two written forms: the lower-case wire name
// used in JSON bodies, requests and the catalog, and the CamelCase name shown in messages.
#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace pvo_status {

// Stored as its index; the declaration order is the order of every list of protocols.
enum class Protocol : std::uint8_t {
    Dymo,
    DymoLw,
    DymoLwClassic,
    EscPos,
    EscLabel,
    Phomemo,
    PhomemoM02x,
    PhomemoM110,
    PhomemoD30,
    Zpl,
    Tspl,
    Slcs,
    Ezpl,
    Sbpl,
    Dpl,
    Tpcl,
    Niimbot,
    LetraTag,
    BrotherQl,
    BrotherPt,
    Gpgl,
    Virtual,
    Console,
    Html,
};

inline constexpr std::size_t protocol_count = 24;

// Every protocol in index order.
inline constexpr std::array<Protocol, protocol_count> all_protocols = [] {
    std::array<Protocol, protocol_count> all{};
    for (std::size_t i = 0; i < protocol_count; ++i) all[i] = static_cast<Protocol>(i);
    return all;
}();
static_assert(all_protocols.back() == Protocol::Html);

// "dymolw" for DymoLw: the form in JSON, requests and the catalog.
std::string_view wire_name(Protocol protocol) noexcept;

// "DymoLw" for DymoLw: the form inside error texts.
std::string_view message_name(Protocol protocol) noexcept;

// Exact, case-sensitive match of the whole text against the wire names. Anything else gives
// "unknown variant `<text>`, expected one of `dymo`, `dymolw`, ..., `html`".
std::expected<Protocol, std::string> protocol_from_wire_name(std::string_view text);

// The lookup of a request's protocol text: ASCII capitals are folded to small letters (every
// other byte stays), then matched exactly. Anything else gives "unknown protocol: " followed by
// the text as it was sent, before folding.
std::expected<Protocol, std::string> protocol_from_request_name(std::string_view text);

}  // namespace pvo_status
