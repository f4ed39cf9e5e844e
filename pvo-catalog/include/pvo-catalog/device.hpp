#pragma once
// Device entries of the catalog: one record per printer or cutter model. Discovery reads the
// brand, the canonical key, the protocol and the usb connection hints; every other field is
// read, checked and kept.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "pvo-status/protocol.hpp"

namespace pvo_catalog {

using pvo_status::Protocol;

enum class DeviceRole : std::uint8_t { Printer, Cutter };
enum class Maturity : std::uint8_t { Verified, Supported, Experimental };
enum class UsbMode : std::uint8_t { Printer, MassStorage };

inline constexpr std::array<std::string_view, 2> device_role_words{"printer", "cutter"};
inline constexpr std::array<std::string_view, 3> maturity_words{"verified", "supported", "experimental"};
inline constexpr std::array<std::string_view, 2> usb_mode_words{"printer", "mass_storage"};

// One way a model can be attached.
namespace hint {
struct Ble {
    std::string name;  // the name it advertises over Bluetooth LE
    bool operator==(const Ble&) const = default;
};
struct Serial {
    std::optional<std::string> path;
    bool operator==(const Serial&) const = default;
};
struct Usb {
    std::uint16_t vendor_id = 0;
    std::optional<std::uint16_t> product_id;  // absent: every product of the vendor
    UsbMode mode = UsbMode::Printer;

    // A hint naming exactly this vendor and product.
    bool matches_exactly(std::uint16_t vid, std::uint16_t pid) const noexcept {
        return product_id && vendor_id == vid && *product_id == pid;
    }
    // A vendor-wide hint (no product id) for this vendor.
    bool covers_vendor(std::uint16_t vid) const noexcept { return !product_id && vendor_id == vid; }
    bool operator==(const Usb&) const = default;
};
struct Network {
    std::string host;
    std::uint16_t port = 0;
    bool operator==(const Network&) const = default;
};
}  // namespace hint
using ConnectionHint = std::variant<hint::Ble, hint::Serial, hint::Usb, hint::Network>;

// The usb hint inside a connection hint, or null for the other kinds.
inline const hint::Usb* usb_hint(const ConnectionHint& h) noexcept { return std::get_if<hint::Usb>(&h); }

struct DeviceSupport {
    std::optional<std::string> product_url;
    std::optional<std::string> brand_url;
    bool operator==(const DeviceSupport&) const = default;
};

// The head and cutter of a model; in a catalog document these keys stand directly in the device
// table. The three raster flags default to true, the other flags to false.
struct DeviceCapabilities {
    double dpi = 0.0;
    double max_width_mm = 0.0;
    bool supports_cut = false;
    bool supports_half_cut = false;
    bool supports_color = false;
    bool reports_media = false;
    std::optional<double> feed_lead_mm;
    std::optional<double> feed_trail_mm;
    bool feed_reverse = false;
    std::optional<double> head_printable_height_mm;
    bool supports_expanded_mode = true;
    bool supports_cut_every = true;
    bool emit_raster_mode_switch = true;
    std::optional<std::uint32_t> invalidate_bytes;
    bool supports_packbits = false;
    bool supports_high_resolution = false;
    bool supports_precut = false;
    bool precut_default = false;
    std::optional<double> feed_lead_min_mm;
    // Floats compare as values, so a NaN capability makes two records unequal.
    bool operator==(const DeviceCapabilities&) const = default;
};

struct DeviceEntry {
    std::string brand;
    std::vector<std::string> keys;
    std::string name;
    Protocol protocol = Protocol::Dymo;
    DeviceRole role = DeviceRole::Printer;
    Maturity maturity = Maturity::Experimental;
    bool supports_soft_reboot = false;
    std::vector<std::string> supported_media;
    std::optional<std::string> default_media;
    std::vector<ConnectionHint> connections;
    DeviceSupport support;
    DeviceCapabilities capabilities;
    bool operator==(const DeviceEntry&) const = default;
};

// The canonical key (the first of `keys`); empty when the model lists no key.
inline std::string_view canonical_key(const DeviceEntry& device) noexcept {
    return device.keys.empty() ? std::string_view{} : std::string_view{device.keys.front()};
}

}  // namespace pvo_catalog
