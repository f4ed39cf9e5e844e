#include "emulated_hardware.hpp"

#include <umockdev.h>

#include <cstdio>
#include <stdexcept>

namespace pvo_device::test {
namespace {

std::string attribute(const std::string& name, const std::optional<std::string>& value) {
    return value ? "A: " + name + "=" + *value + "\\n\n" : std::string();
}

std::string hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

}  // namespace

EmulatedHardware::EmulatedHardware() : testbed_(umockdev_testbed_new()) {}

EmulatedHardware::~EmulatedHardware() { g_object_unref(testbed_); }

std::string EmulatedHardware::root() const {
    gchar* dir = umockdev_testbed_get_root_dir(testbed_);  // a copy the caller frees
    std::string root = dir;
    g_free(dir);
    return root;
}

std::map<std::string, std::string> EmulatedHardware::preload_environment() const {
    return {{"LD_PRELOAD", "libumockdev-preload.so.0"}, {"UMOCKDEV_DIR", root()}};
}

void EmulatedHardware::add(const std::string& record) {
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, record.c_str(), &error)) {
        const std::string why = error ? error->message : "unknown error";
        if (error) g_error_free(error);
        throw std::runtime_error("umockdev refused a device: " + why + "\n" + record);
    }
}

// umockdev links /sys/class/tty/<tty> to the tty's directory but gives that directory no
// `device` link unless the record names one; the serial-port library follows that link to the
// port's device and walks up from there to the USB device's ids and texts.
void EmulatedHardware::add_tty(const std::string& parent, const std::string& tty) {
    add("P: " + parent + "/tty/" + tty + "\nN: " + tty + "\nL: device=../../../" +
        parent.substr(parent.rfind('/') + 1) + "\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/" + tty + "\n");
}

std::string EmulatedHardware::add_usb(const UsbIdentity& id) {
    const unsigned address = next_address_++;
    const std::string device = "/devices/pci0000:00/usb1/1-" + std::to_string(address);
    add("P: " + device + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n" +
        "A: busnum=1\\n\nA: devnum=" + std::to_string(address) + "\\n\n" + "A: idVendor=" + hex4(id.vendor_id) +
        "\\n\nA: idProduct=" + hex4(id.product_id) + "\\n\n" + attribute("serial", id.serial) +
        attribute("manufacturer", id.manufacturer) + attribute("product", id.product));
    return device;
}

void EmulatedHardware::add_usb_device(const UsbIdentity& identity) { add_usb(identity); }

void EmulatedHardware::add_usb_serial_port(const UsbIdentity& identity, const std::string& tty) {
    const std::string device = add_usb(identity);
    const std::string interface = device + "/" + device.substr(device.rfind('/') + 1) + ":1.0";
    add("P: " + interface + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n");
    std::string parent = interface;
    if (tty.starts_with("ttyUSB")) {
        parent = interface + "/" + tty;
        add("P: " + parent + "\nE: SUBSYSTEM=usb-serial\n");
    }
    add_tty(parent, tty);
}

void EmulatedHardware::add_native_serial_port(const std::string& tty) {
    const std::string port = "/devices/pnp0/00:0" + std::to_string(next_address_++);
    add_serial_port_on(port, "pnp", tty);
}

void EmulatedHardware::add_serial_port_on(const std::string& device, const std::string& subsystem,
                                          const std::string& tty) {
    add("P: " + device + "\nE: SUBSYSTEM=" + subsystem + "\n");
    add_tty(device, tty);
}

}  // namespace pvo_device::test
