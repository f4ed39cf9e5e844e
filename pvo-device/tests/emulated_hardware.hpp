#pragma once
// Attached hardware as the system lists it, emulated with umockdev: USB devices with their
// sysfs attributes, and serial ports (ttyUSB, ttyACM and native ones) with the sysfs links the
// serial-port library follows to their USB device. Nothing here answers I/O: the devices are
// only there to be listed.
//
// A process sees the emulated system when it runs with libumockdev-preload and UMOCKDEV_DIR
// set to `root()`; `preload_environment()` gives both for a child process.
#include <cstdint>
#include <map>
#include <optional>
#include <string>

using UMockdevTestbed = struct _UMockdevTestbed;

namespace pvo_device::test {

struct UsbIdentity {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::optional<std::string> serial = std::nullopt;
    std::optional<std::string> manufacturer = std::nullopt;
    std::optional<std::string> product = std::nullopt;
};

class EmulatedHardware {
public:
    EmulatedHardware();
    ~EmulatedHardware();
    EmulatedHardware(const EmulatedHardware&) = delete;
    EmulatedHardware& operator=(const EmulatedHardware&) = delete;

    // Plugs in a USB device on bus 1 (the next free address).
    void add_usb_device(const UsbIdentity& identity);
    // Plugs in a USB device whose interface presents the serial port /dev/<tty>: a ttyUSB port
    // sits on a usb-serial converter, any other name on the interface itself (as cdc_acm does).
    void add_usb_serial_port(const UsbIdentity& identity, const std::string& tty);
    // A serial port of the machine itself, not on USB.
    void add_native_serial_port(const std::string& tty);
    // A serial port presented by the device at `device` (a sysfs path such as
    // "/devices/platform/serial8250" or "/devices/virtual"), added with it.
    void add_serial_port_on(const std::string& device, const std::string& subsystem, const std::string& tty);

    std::string root() const;
    // LD_PRELOAD and UMOCKDEV_DIR for a child process that should see this hardware.
    std::map<std::string, std::string> preload_environment() const;

private:
    std::string add_usb(const UsbIdentity& identity);
    void add(const std::string& record);
    void add_tty(const std::string& parent, const std::string& tty);

    UMockdevTestbed* testbed_ = nullptr;
    unsigned next_address_ = 2;  // 1 is the root hub's
};

}  // namespace pvo_device::test
