// The USB device listing read from sysfs, and the serial ports listed by libserialport.
#include <libserialport.h>

#include <memory>

#include "discovery_listing.hpp"

namespace pvo_device {
namespace fs = std::filesystem;
namespace {

std::optional<std::string> text_of(const char* text) {
    if (!text) return std::nullopt;
    return std::string(text);
}

PortKind kind_of(sp_transport transport) {
    switch (transport) {
        case SP_TRANSPORT_USB:
            return PortKind::Usb;
        case SP_TRANSPORT_NATIVE:
            return PortKind::Native;
        case SP_TRANSPORT_BLUETOOTH:
            return PortKind::Bluetooth;
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

std::vector<ListedUsbDevice> list_usb_devices(const UsbIdFilter& wanted, const fs::path& sys_root) {
    std::vector<ListedUsbDevice> devices;
    for (auto& listed : list_sysfs_usb_devices(wanted, sys_root)) devices.push_back(std::move(listed.device));
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
