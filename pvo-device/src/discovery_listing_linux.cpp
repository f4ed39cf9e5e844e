// The USB device listing read from sysfs, and the serial ports listed by libserialport.
#include <libserialport.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <memory>
#include <system_error>
#include <tuple>

#include "discovery_listing.hpp"

namespace pvo_device {
namespace fs = std::filesystem;
namespace {

// A sysfs attribute as the kernel writes it, without its closing line break; none when the
// file is missing or unreadable.
std::optional<std::string> read_attribute(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return std::nullopt;
    if (text.ends_with('\n')) text.pop_back();
    return text;
}

template <typename Number>
std::optional<Number> read_number(const fs::path& path, int base) {
    const auto text = read_attribute(path);
    if (!text || text->empty()) return std::nullopt;
    Number value{};
    const char* end = text->data() + text->size();
    const auto [stop, ec] = std::from_chars(text->data(), end, value, base);
    if (ec != std::errc{} || stop != end) return std::nullopt;
    return value;
}

struct UsbEntry {
    unsigned bus = 0;
    unsigned address = 0;
    ListedUsbDevice device;
};

// A device directory (not an interface, which has no ids) with its place on the bus.
std::optional<UsbEntry> read_usb_entry(const fs::path& dir) {
    const auto bus = read_number<unsigned>(dir / "busnum", 10);
    const auto address = read_number<unsigned>(dir / "devnum", 10);
    const auto vendor = read_number<std::uint16_t>(dir / "idVendor", 16);
    const auto product = read_number<std::uint16_t>(dir / "idProduct", 16);
    if (!bus || !address || !vendor || !product) return std::nullopt;
    UsbEntry entry{*bus, *address, {*vendor, *product, read_attribute(dir / "serial")}};
    // The kernel writes the serial attribute only for a device that has a serial number.
    if (entry.device.serial && entry.device.serial->empty()) entry.device.serial.reset();
    return entry;
}

std::optional<std::string> text_of(const char* text) {
    if (!text) return std::nullopt;
    return std::string(text);
}

PortKind kind_of(sp_transport transport) {
    switch (transport) {
        case SP_TRANSPORT_USB: return PortKind::Usb;
        case SP_TRANSPORT_NATIVE: return PortKind::Native;
        case SP_TRANSPORT_BLUETOOTH: return PortKind::Bluetooth;
    }
    return PortKind::Unknown;
}

ListedSerialPort read_port(const sp_port* port) {
    ListedSerialPort listed;
    listed.name = sp_get_port_name(port);
    listed.kind = kind_of(sp_get_port_transport(port));
    if (listed.kind != PortKind::Usb) return listed;
    int vendor = 0;
    int product = 0;
    if (sp_get_port_usb_vid_pid(port, &vendor, &product) == SP_OK) {
        listed.vendor_id = static_cast<std::uint16_t>(vendor);
        listed.product_id = static_cast<std::uint16_t>(product);
    }
    listed.serial = text_of(sp_get_port_usb_serial(port));
    listed.manufacturer = text_of(sp_get_port_usb_manufacturer(port));
    listed.product = text_of(sp_get_port_usb_product(port));
    return listed;
}

struct PortListFree {
    void operator()(sp_port** ports) const { sp_free_port_list(ports); }
};

}  // namespace

std::vector<ListedUsbDevice> list_usb_devices(const fs::path& sys_root) {
    std::vector<UsbEntry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(sys_root / "bus/usb/devices", ec), end; !ec && it != end; it.increment(ec)) {
        if (auto entry = read_usb_entry(it->path())) entries.push_back(std::move(*entry));
    }
    std::ranges::sort(entries, {}, [](const UsbEntry& e) { return std::tie(e.bus, e.address); });
    std::vector<ListedUsbDevice> devices;
    devices.reserve(entries.size());
    for (auto& entry : entries) devices.push_back(std::move(entry.device));
    return devices;
}

std::expected<std::vector<ListedSerialPort>, std::string> list_serial_ports() {
    sp_port** raw = nullptr;
    if (sp_list_ports(&raw) != SP_OK) {
        char* message = sp_last_error_message();
        std::string description = message ? message : "";
        sp_free_error_message(message);
        return std::unexpected(std::move(description));
    }
    const std::unique_ptr<sp_port*, PortListFree> ports(raw);
    std::vector<ListedSerialPort> listed;
    for (sp_port** port = ports.get(); *port; ++port) listed.push_back(read_port(*port));
    return listed;
}

}  // namespace pvo_device
