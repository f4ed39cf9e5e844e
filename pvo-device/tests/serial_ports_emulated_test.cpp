// The serial port listing against libserialport's own, both reading the ports umockdev
// presents: the same ports in the same order, of the same kinds, with the same USB identities.
#include <gtest/gtest.h>
#include <libserialport.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "discovery_listing.hpp"
#include "emulated_hardware.hpp"
#include "usb_emulation.hpp"

namespace pvo_device {

void PrintTo(const ListedSerialPort& p, std::ostream* os) {
    *os << p.name << " kind " << static_cast<int>(p.kind) << " " << p.vendor_id << ":" << p.product_id << " serial "
        << p.serial.value_or("(none)") << " manufacturer " << p.manufacturer.value_or("(none)") << " product "
        << p.product.value_or("(none)");
}

bool operator==(const ListedSerialPort& a, const ListedSerialPort& b) {
    return a.name == b.name && a.kind == b.kind && a.vendor_id == b.vendor_id && a.product_id == b.product_id &&
           a.serial == b.serial && a.manufacturer == b.manufacturer && a.product == b.product;
}

namespace {

using test::EmulatedHardware;

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

// The ports as libserialport lists and describes them.
std::vector<ListedSerialPort> libserialport_ports() {
    sp_port** raw = nullptr;
    if (sp_list_ports(&raw) != SP_OK) {
        ADD_FAILURE() << "libserialport could not list the ports";
        return {};
    }
    const std::unique_ptr<sp_port*, decltype(&sp_free_port_list)> ports(raw, &sp_free_port_list);
    std::vector<ListedSerialPort> listed;
    for (sp_port** p = ports.get(); *p; ++p) {
        ListedSerialPort port;
        port.name = sp_get_port_name(*p);
        port.kind = kind_of(sp_get_port_transport(*p));
        int vendor = 0;
        int product = 0;
        if (sp_get_port_usb_vid_pid(*p, &vendor, &product) == SP_OK) {
            port.vendor_id = static_cast<std::uint16_t>(vendor);
            port.product_id = static_cast<std::uint16_t>(product);
        }
        port.serial = text_of(sp_get_port_usb_serial(*p));
        port.manufacturer = text_of(sp_get_port_usb_manufacturer(*p));
        port.product = text_of(sp_get_port_usb_product(*p));
        listed.push_back(std::move(port));
    }
    return listed;
}

TEST(EmulatedSerialPorts, ListedAsLibserialportListsThem) {
    if (test::run_in_umockdev_child()) return;
    EmulatedHardware hardware;
    hardware.add_usb_serial_port({0x1111, 0x2222, "NB-0001", "NIIMBOT", "Niimbot Label Printer"}, "ttyACM0");
    hardware.add_usb_serial_port({0x04F9, 0x2064, "P700-3", "Brother", "PT-P700"}, "ttyUSB0");  // two levels up
    hardware.add_usb_serial_port({0x3333, 0x4444}, "ttyUSB1");                                  // no texts
    hardware.add_usb_serial_port({0x5555, 0x6666, "", "", ""}, "ttyACM1");                      // empty texts
    // Texts longer than the library's line buffer, and texts of more than one line.
    hardware.add_usb_serial_port({0x7777, 0x8888, std::string(200, 's'), std::string(127, 'm'), std::string(128, 'p')},
                                 "ttyACM2");
    hardware.add_usb_serial_port({0x9999, 0xAAAA, "A\\nB", " lead and trail ", "x\\n"}, "ttyACM3");
    hardware.add_native_serial_port("ttyS0");
    hardware.add_serial_port_on("/devices/platform/serial8250", "platform", "ttyS4");  // does not open as a UART
    hardware.add_serial_port_on("/devices/virtual", "tty", "tty0");
    hardware.add_serial_port_on("/devices/pci0000:00/bluetooth/hci0", "bluetooth", "rfcomm0");

    const std::vector<ListedSerialPort> expected = libserialport_ports();
    ASSERT_EQ(expected.size(), 8u);  // all but the serial8250 and the virtual port
    const auto listed = list_serial_ports();
    ASSERT_TRUE(listed.has_value()) << listed.error();
    EXPECT_EQ(*listed, expected);

    std::vector<ListedSerialPort> usb_ports;
    for (const ListedSerialPort& port : expected)
        if (port.kind == PortKind::Usb) usb_ports.push_back(port);
    ASSERT_EQ(usb_ports.size(), 6u);
    EXPECT_EQ(list_serial_ports(PortKind::Usb), usb_ports);
}

TEST(EmulatedSerialPorts, WithoutTheTtyClassTheListingFailsWithTheSystemsReason) {
    if (test::run_in_umockdev_child()) return;
    EmulatedHardware hardware;
    hardware.add_usb_device({0x0922, 0x0028});
    EXPECT_EQ(list_serial_ports(), std::unexpected(std::string("No such file or directory")));
}

}  // namespace
}  // namespace pvo_device
