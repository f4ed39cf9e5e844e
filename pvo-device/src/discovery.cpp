// Discovery: the catalog matched against the listed USB devices, and the USB serial ports.
#include "pvo-device/discovery.hpp"

#include <algorithm>
#include <iterator>
#include <utility>

#include "discovery_listing.hpp"
#include "pvo-log/log.hpp"
#include "pvo-util/text.hpp"

namespace pvo_device {
namespace {

using pvo_catalog::DeviceEntry;
using pvo_catalog::hint::Usb;

// The first model, in catalog order and hint order within a model, with a usb hint that
// `accepts`.
template <typename Accepts>
const DeviceEntry* first_model_with(const pvo_catalog::Catalog& catalog, Accepts accepts) {
    for (const DeviceEntry& model : catalog.devices) {
        for (const auto& connection : model.connections) {
            const Usb* usb = pvo_catalog::usb_hint(connection);
            if (usb && accepts(*usb)) return &model;
        }
    }
    return nullptr;
}

DiscoveredDevice usb_record(const DeviceEntry& model, const ListedUsbDevice& device) {
    return DiscoveredDevice{
        .vendor_id = device.vendor_id,
        .product_id = device.product_id,
        .serial = device.serial,
        .brand = model.brand,
        .model = std::string(pvo_catalog::canonical_key(model)),
        .protocol = model.protocol,
        .connection = "usb",
        .path = std::nullopt,
    };
}

// The model that names these ids: an exact hint first, then a vendor-only one.
const DeviceEntry* model_for(const pvo_catalog::Catalog& catalog, std::uint16_t vid, std::uint16_t pid) {
    const DeviceEntry* model = first_model_with(catalog, [&](const Usb& h) { return h.matches_exactly(vid, pid); });
    if (!model) model = first_model_with(catalog, [&](const Usb& h) { return h.covers_vendor(vid); });
    return model;
}

}  // namespace

void prepare_discovery() noexcept {
    try {
        static_cast<void>(pvo_catalog::builtin_catalog());
    } catch (...) {
        // Nothing is kept of a parse that throws: the first listing parses again.
    }
}

std::optional<DiscoveredDevice> match_usb_device(const pvo_catalog::Catalog& catalog, const ListedUsbDevice& device) {
    const DeviceEntry* model = model_for(catalog, device.vendor_id, device.product_id);
    if (!model) return std::nullopt;
    return usb_record(*model, device);
}

std::vector<DiscoveredDevice> discover_usb_devices(const DiscoveryOptions& options) {
    // The catalog text as if merged into an empty catalog: for the built-in text that is the
    // built-in catalog, parsed once and shared with every call, never copied.
    const auto catalog = pvo_catalog::read_catalog(options.catalog_text);
    if (!catalog) {
        pvo_log::warn(kDiscoveryLogTarget, "catalog load failed: {}", catalog.error().display());
        return {};
    }
    // Only a device the catalog knows has more than its ids read (its place and serial), and a
    // device of a vendor that no usb hint names not even its product id.
    const UsbIdFilter known{
        .vendor =
            [&](std::uint16_t vid) {
                return first_model_with(**catalog, [&](const Usb& h) { return h.vendor_id == vid; }) != nullptr;
            },
        .device = [&](std::uint16_t vid, std::uint16_t pid) { return model_for(**catalog, vid, pid) != nullptr; },
    };
    std::vector<DiscoveredDevice> records;
    for (const ListedUsbDevice& device : list_usb_devices(known)) {
        if (auto record = match_usb_device(**catalog, device)) records.push_back(std::move(*record));
    }
    return records;
}

std::optional<DiscoveredDevice> classify_serial_port(const ListedSerialPort& port) {
    if (port.kind != PortKind::Usb) return std::nullopt;
    const std::string text = pvo_util::ascii_lower(port.manufacturer.value_or("") + " " + port.product.value_or(""));
    const bool niimbot = text.find("niimbot") != std::string::npos;
    using pvo_status::Protocol;
    return DiscoveredDevice{
        .vendor_id = port.vendor_id,
        .product_id = port.product_id,
        .serial = port.serial,
        .brand = niimbot ? std::optional<std::string>("NIIMBOT") : std::nullopt,
        .model = niimbot ? port.product : std::nullopt,
        .protocol = niimbot ? std::optional(Protocol::Niimbot) : std::nullopt,
        .connection = "serial",
        .path = port.name,
    };
}

std::vector<DiscoveredDevice> discover_serial_ports() {
    auto ports = list_serial_ports(PortKind::Usb);
    if (!ports) {
        pvo_log::warn(kDiscoveryLogTarget, "serial enumeration failed: {}", ports.error());
        return {};
    }
    std::vector<DiscoveredDevice> records;
    for (const ListedSerialPort& port : *ports) {
        if (auto record = classify_serial_port(port)) records.push_back(std::move(*record));
    }
    return records;
}

void sort_discovered(std::vector<DiscoveredDevice>& devices) {
    std::ranges::stable_partition(devices, [](const DiscoveredDevice& d) { return d.protocol.has_value(); });
}

std::vector<DiscoveredDevice> discover_devices(const DiscoveryOptions& options) {
    std::vector<DiscoveredDevice> devices = discover_usb_devices(options);
    std::ranges::move(discover_serial_ports(), std::back_inserter(devices));
    sort_discovered(devices);
    return devices;
}

}  // namespace pvo_device
