// Reading a catalog document into its records. The TOML text is parsed first (syntax errors
// and repeated keys refuse it before any record is built); then every table is read with the
// rules of toml_fields.hpp, in document order, and the first fault refuses the whole document.
#include "pvo-catalog/catalog_file.hpp"

#include <array>
#include <string>
#include <utility>

#include "toml_fields.hpp"

namespace pvo_catalog {
namespace {

using detail::Faults;
using detail::TableFields;

constexpr std::array<std::string_view, 2> length_kinds{"fixed", "continuous"};
constexpr std::array<std::string_view, 3> sense_kinds{"gap", "black_mark", "continuous"};
constexpr std::array<std::string_view, 4> hint_kinds{"ble", "serial", "usb", "network"};
enum class LengthKind : std::uint8_t { Fixed, Continuous };
enum class SenseKind : std::uint8_t { Gap, BlackMark, Continuous };
enum class HintKind : std::uint8_t { Ble, Serial, Usb, Network };

constexpr std::int64_t u16_max = 65535;
constexpr std::int64_t u32_max = 4294967295;

std::string indexed(std::string_view path, std::size_t index) {
    return std::string(path) + "[" + std::to_string(index) + "]";
}

// Calls `read` with the fields of each element of an optional array of tables.
template <typename Read>
void for_each_table(TableFields& parent, std::string_view key, Read&& read) {
    const toml::array* items = parent.array(key, false);
    if (items == nullptr) return;
    for (std::size_t i = 0; i < items->size(); ++i) {
        const toml::node& item = *items->get(i);
        const std::string path = indexed(parent.path_of(key), i);
        if (const auto* table = item.as_table()) {
            TableFields fields(parent.faults(), *table, path);
            read(fields);
        } else {
            parent.faults().add(&item, path,
                                "invalid type: " + std::string(detail::type_name(item)) + ", expected a table");
        }
    }
}

// Calls `read` with the fields of an optional (or required) sub-table.
template <typename Read>
void read_table(TableFields& parent, std::string_view key, bool required, Read&& read) {
    if (const auto* table = parent.table(key, required)) {
        TableFields fields(parent.faults(), *table, parent.path_of(key));
        read(fields);
    }
}

MediaLength read_length(TableFields& f) {
    const auto kind = f.word<LengthKind>("kind", length_kinds, std::nullopt);
    if (kind == LengthKind::Fixed) return length::Fixed{f.number("mm")};
    if (f.has("mm")) f.fail_at("mm", "key `mm` is not allowed with kind `continuous`");
    return length::Continuous{};
}

MediaSense read_sense(TableFields& f) {
    switch (f.word<SenseKind>("kind", sense_kinds, std::nullopt)) {
        case SenseKind::Gap:
            return sense::Gap{f.optional_number("gap_mm").value_or(3.0), f.optional_number("offset_mm").value_or(0.0)};
        case SenseKind::BlackMark:
            return sense::BlackMark{f.optional_number("mark_mm").value_or(3.0),
                                    f.optional_number("offset_mm").value_or(0.0)};
        case SenseKind::Continuous:
            break;  // every other key is skipped
    }
    return sense::Continuous{};
}

MediaSpec read_media(TableFields& f) {
    MediaSpec media;
    media.width_mm = f.number("width_mm");
    read_table(f, "length", true, [&](TableFields& length) { media.length = read_length(length); });
    media.material = f.word<Material>("material", material_words, Material::Paper);
    media.adhesive = f.word<Adhesive>("adhesive", adhesive_words, Adhesive::Permanent);
    media.color = f.word<MediaColor>("color", media_color_words, MediaColor::White);
    media.two_color = f.flag("two_color", false);
    read_table(f, "sense", false, [&](TableFields& sense) { media.sense = read_sense(sense); });
    return media;
}

ImageInfo read_image(TableFields& f) {
    ImageInfo image;
    image.url = f.text("url");
    image.license = f.optional_text("license").value_or("unknown");
    image.attribution = f.optional_text("attribution");
    image.redistributable = f.flag("redistributable", false);
    return image;
}

CatalogEntry read_entry(TableFields& f) {
    CatalogEntry entry;
    entry.brand = f.text("brand");
    entry.keys = f.texts("keys", true);
    entry.name = f.text("name");
    read_table(f, "media", true, [&](TableFields& media) { entry.media = read_media(media); });
    read_table(f, "image", false, [&](TableFields& image) { entry.image = read_image(image); });
    entry.purchase_url = f.optional_text("purchase_url");
    entry.product_ids = f.texts("product_ids", false);
    return entry;
}

std::optional<std::uint16_t> read_u16(TableFields& f, std::string_view key, bool required) {
    if (auto value = f.integer(key, 0, u16_max, required)) return static_cast<std::uint16_t>(*value);
    return std::nullopt;
}

ConnectionHint read_hint(TableFields& f) {
    switch (f.word<HintKind>("kind", hint_kinds, std::nullopt)) {
        case HintKind::Ble:
            return hint::Ble{f.text("name")};
        case HintKind::Serial:
            return hint::Serial{f.optional_text("path")};
        case HintKind::Usb: {
            hint::Usb usb;
            usb.vendor_id = read_u16(f, "vendor_id", true).value_or(0);
            usb.product_id = read_u16(f, "product_id", false);
            usb.mode = f.word<UsbMode>("mode", usb_mode_words, UsbMode::Printer);
            return usb;
        }
        case HintKind::Network: {
            hint::Network network;
            network.host = f.text("host");
            network.port = read_u16(f, "port", true).value_or(0);
            return network;
        }
    }
    return hint::Serial{};
}

Protocol read_protocol(TableFields& f) {
    if (!f.has("protocol")) {
        f.fail("missing key `protocol`");
        return Protocol::Dymo;
    }
    // The wire names are matched exactly; the error lists all of them in protocol order.
    auto text = f.optional_text("protocol");
    if (!text) return Protocol::Dymo;
    auto protocol = pvo_status::protocol_from_wire_name(*text);
    if (!protocol) {
        f.fail_at("protocol", protocol.error());
        return Protocol::Dymo;
    }
    return *protocol;
}

// The capability keys stand in the device table itself, beside the device's own keys.
DeviceCapabilities read_capabilities(TableFields& f) {
    DeviceCapabilities c;
    c.dpi = f.number("dpi");
    c.max_width_mm = f.number("max_width_mm");
    c.supports_cut = f.flag("supports_cut", false);
    c.supports_half_cut = f.flag("supports_half_cut", false);
    c.supports_color = f.flag("supports_color", false);
    c.reports_media = f.flag("reports_media", false);
    c.feed_lead_mm = f.optional_number("feed_lead_mm");
    c.feed_trail_mm = f.optional_number("feed_trail_mm");
    c.feed_reverse = f.flag("feed_reverse", false);
    c.head_printable_height_mm = f.optional_number("head_printable_height_mm");
    c.supports_expanded_mode = f.flag("supports_expanded_mode", true);
    c.supports_cut_every = f.flag("supports_cut_every", true);
    c.emit_raster_mode_switch = f.flag("emit_raster_mode_switch", true);
    if (auto bytes = f.integer("invalidate_bytes", 0, u32_max, false))
        c.invalidate_bytes = static_cast<std::uint32_t>(*bytes);
    c.supports_packbits = f.flag("supports_packbits", false);
    c.supports_high_resolution = f.flag("supports_high_resolution", false);
    c.supports_precut = f.flag("supports_precut", false);
    c.precut_default = f.flag("precut_default", false);
    c.feed_lead_min_mm = f.optional_number("feed_lead_min_mm");
    return c;
}

DeviceEntry read_device(TableFields& f) {
    DeviceEntry device;
    device.brand = f.text("brand");
    device.keys = f.texts("keys", true);
    device.name = f.text("name");
    device.protocol = read_protocol(f);
    device.role = f.word<DeviceRole>("role", device_role_words, DeviceRole::Printer);
    device.maturity = f.word<Maturity>("maturity", maturity_words, Maturity::Experimental);
    device.supports_soft_reboot = f.flag("supports_soft_reboot", false);
    device.supported_media = f.texts("supported_media", false);
    device.default_media = f.optional_text("default_media");
    for_each_table(f, "connections", [&](TableFields& hint) { device.connections.push_back(read_hint(hint)); });
    read_table(f, "support", false, [&](TableFields& support) {
        device.support.product_url = support.optional_text("product_url");
        device.support.brand_url = support.optional_text("brand_url");
    });
    device.capabilities = read_capabilities(f);
    return device;
}

std::expected<toml::table, CatalogReadError> parse_toml(std::string_view text) {
    auto describe = [](const toml::parse_error& e) {
        std::string message = "TOML parse error";
        if (e.source().begin) {
            message.append(" at line ")
                .append(std::to_string(e.source().begin.line))
                .append(", column ")
                .append(std::to_string(e.source().begin.column));
        }
        return CatalogReadError{message.append(": ").append(e.description())};
    };
#if TOML_EXCEPTIONS
    try {
        return toml::parse(text);
    } catch (const toml::parse_error& e) {
        return std::unexpected(describe(e));
    }
#else
    toml::parse_result result = toml::parse(text);
    if (!result) return std::unexpected(describe(result.error()));
    return std::move(result).table();
#endif
}

}  // namespace

std::expected<CatalogFile, CatalogReadError> parse_catalog_file(std::string_view text) {
    auto root = parse_toml(text);
    if (!root) return std::unexpected(std::move(root.error()));

    Faults faults;
    TableFields fields(faults, *root, "");
    CatalogFile file;
    for_each_table(fields, "entries", [&](TableFields& f) { file.entries.push_back(read_entry(f)); });
    for_each_table(fields, "devices", [&](TableFields& f) { file.devices.push_back(read_device(f)); });
    if (faults.any()) return std::unexpected(CatalogReadError{faults.first()});
    return file;
}

}  // namespace pvo_catalog
