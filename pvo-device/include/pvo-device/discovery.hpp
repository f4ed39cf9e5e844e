#pragma once
// Which label printers and cutters are attached right now.
//
// Two sources, one record type: the USB devices the system lists, kept when a device model of
// the catalog names their USB ids in a usb connection hint, and the serial ports attached over
// USB, all kept, recognised as NIIMBOT printers when their manufacturer or product text says so.
// No device is opened and nothing of the devices is kept between calls: every call lists both
// sources afresh. The built-in catalog is parsed once, on first use, and kept. Warnings go to
// the log target "pvo_device::discovery".
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pvo-catalog/builtin_catalog.hpp"
#include "pvo-catalog/catalog.hpp"
#include "pvo-status/protocol.hpp"

namespace pvo_device {

inline constexpr std::string_view kDiscoveryLogTarget = "pvo_device::discovery";

// One attached device. The fields are in the order of the keys of its JSON object. Discovery
// always fills both ids; a USB record always has a protocol and never a path.
struct DiscoveredDevice {
    std::optional<std::uint16_t> vendor_id;
    std::optional<std::uint16_t> product_id;
    std::optional<std::string> serial;
    std::optional<std::string> brand;
    std::optional<std::string> model;
    std::optional<pvo_status::Protocol> protocol;
    std::string connection;  // "usb" or "serial"
    std::optional<std::string> path;

    bool operator==(const DiscoveredDevice&) const = default;
};

// A USB device as the system lists it.
struct ListedUsbDevice {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::optional<std::string> serial;
};

enum class PortKind : std::uint8_t { Usb, Native, Bluetooth, Unknown };

// A serial port as the system lists it. Only a USB port carries the ids and texts.
struct ListedSerialPort {
    std::string name;  // the name a serial transport opens it by, e.g. "/dev/ttyUSB0"
    PortKind kind = PortKind::Unknown;
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::optional<std::string> serial;
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
};

// Where discovery takes its catalog from: the built-in one unless a test passes another text.
struct DiscoveryOptions {
    std::string_view catalog_text = pvo_catalog::BUILTIN_CATALOG;
};

// Does discovery's one-time work now (parsing the built-in catalog), so that the first listing
// need not: for a thread of its own at start-up. A parse that throws (out of memory) is left
// for the first listing to try again.
void prepare_discovery() noexcept;

// USB records (enumeration order), then serial records; records with a protocol first, the
// order kept otherwise. Never fails.
std::vector<DiscoveredDevice> discover_devices(const DiscoveryOptions& options = {});

// The listed USB devices that the catalog knows. A catalog that fails to load is logged as a
// warning and gives no records.
std::vector<DiscoveredDevice> discover_usb_devices(const DiscoveryOptions& options = {});

// The record of a USB device, or none when no usb hint of the catalog names its ids. An exact
// vendor:product hint anywhere in the catalog wins over a vendor-only one; among hints of the
// same kind the first in catalog order wins.
std::optional<DiscoveredDevice> match_usb_device(const pvo_catalog::Catalog& catalog, const ListedUsbDevice& device);

// One record per USB-attached serial port. A listing failure is logged as a warning and
// gives no records.
std::vector<DiscoveredDevice> discover_serial_ports();

// The record of a USB-attached port (recognised as NIIMBOT or not); none for other ports.
std::optional<DiscoveredDevice> classify_serial_port(const ListedSerialPort& port);

// Records with a protocol first; records that tie keep their order.
void sort_discovered(std::vector<DiscoveredDevice>& devices);

// The GET /devices body: one compact JSON array, keys in field order, absent values as null,
// and "path" left out entirely when a record has none.
std::string write_device_list(std::span<const DiscoveredDevice> devices);

}  // namespace pvo_device
