// The USB device listing and the serial port listing, both read from sysfs.
//
// Serial ports are listed the way libserialport lists them on Linux (the ports, their kinds and
// the USB identity of a USB port are the same), read here through one open /sys/class/tty and
// paths relative to it: the library walks the class directory, then for every port reopens the
// directory's links and every attribute by absolute path, several of them twice, which made it
// the larger part of a device listing's time.
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "discovery_listing.hpp"
#include "pvo-util/posix_io.hpp"
#include "sysfs_dir.hpp"

namespace pvo_device {
namespace fs = std::filesystem;
namespace {

// A port's kind by the sysfs path of its device, as libserialport tells it.
PortKind kind_of(std::string_view device_path) {
    if (device_path.contains("bluetooth")) return PortKind::Bluetooth;
    if (device_path.contains("usb")) return PortKind::Usb;
    return PortKind::Native;
}

// The serial8250 driver presents a fixed number of ports whether they exist or not; a port
// exists when it opens and the driver names a known UART type for it.
bool serial8250_port_exists(const std::string& dev_path) {
    const int fd = ::open(dev_path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    serial_struct info{};
    const int result = ::ioctl(fd, TIOCGSERIAL, &info);
    ::close(fd);
    return result == 0 && info.type != PORT_UNKNOWN;
}

// An attribute's text as a 128-byte line buffer holds it: the first line (at most 127 bytes),
// up to a NUL byte, without its line break; none for an empty file.
std::optional<std::string> first_line(std::string_view content) {
    if (content.empty()) return std::nullopt;
    content = content.substr(0, 127);
    if (const auto end = content.find('\n'); end != std::string_view::npos) content = content.substr(0, end + 1);
    if (const auto nul = content.find('\0'); nul != std::string_view::npos) content = content.substr(0, nul);
    if (content.ends_with('\n')) content.remove_suffix(1);
    return std::string(content);
}

// An id scanned as the library scans it: at most four hexadecimal digits after any blanks.
bool scan_hex4(std::string_view content, unsigned& value) {
    return std::sscanf(std::string(content).c_str(), "%4x", &value) == 1;
}

// The USB identity of a USB port: from the nearest of the five directories above the port's
// device that has a vendor id and a product id. libserialport also requires a bus and a device
// number there, but the kernel writes those with the ids (one attribute group of every USB
// device), so they are not read.
void read_usb_identity_of_port(SysfsDir& tty_class, std::string_view tty, ListedSerialPort& port) {
    std::string base = std::string(tty) + "/device/";
    std::string path;
    const auto read = [&](std::string_view attribute) {
        path.assign(base);
        path += attribute;
        return tty_class.read(path);
    };
    const auto hex4 = [&](std::string_view attribute, unsigned& value) {
        const auto content = read(attribute);
        return content && scan_hex4(*content, value);
    };
    const auto text = [&](std::string_view attribute) -> std::optional<std::string> {
        const auto content = read(attribute);
        return content ? first_line(*content) : std::nullopt;
    };
    for (int level = 0; level < 5; ++level) {
        base += "../";
        unsigned vendor = 0;
        unsigned product = 0;
        if (!hex4("idVendor", vendor) || !hex4("idProduct", product)) continue;
        port.vendor_id = static_cast<std::uint16_t>(vendor);
        port.product_id = static_cast<std::uint16_t>(product);
        port.manufacturer = text("manufacturer");
        port.product = text("product");
        port.serial = text("serial");
        return;
    }
}

}  // namespace

std::vector<ListedUsbDevice> list_usb_devices(const UsbIdFilter& wanted, const fs::path& sys_root) {
    std::vector<ListedUsbDevice> devices;
    for (auto& listed : list_sysfs_usb_devices(wanted, sys_root)) devices.push_back(std::move(listed.device));
    return devices;
}

std::expected<std::vector<ListedSerialPort>, std::string> list_serial_ports(std::optional<PortKind> only,
                                                                            const fs::path& sys_root) {
    SysfsDir tty_class(sys_root / "class/tty");
    if (tty_class.open_error() != 0) return std::unexpected(pvo_util::errno_text(tty_class.open_error()));
    std::vector<ListedSerialPort> ports;
    while (const auto entry = tty_class.next_entry()) {
        const std::string tty(entry->name);
        // A class entry links to the port's device directory; an entry that is a directory of
        // its own has a `device` link instead.
        const auto device_path = tty_class.read_link(entry->is_link ? tty : tty + "/device");
        if (!device_path || device_path->contains("virtual")) continue;
        const PortKind kind = kind_of(*device_path);
        if (only && kind != *only) continue;
        ListedSerialPort port;
        port.name = "/dev/" + tty;
        port.kind = kind;
        if (device_path->contains("serial8250") && !serial8250_port_exists(port.name)) continue;
        if (kind == PortKind::Usb) read_usb_identity_of_port(tty_class, tty, port);
        ports.push_back(std::move(port));
    }
    return ports;
}

}  // namespace pvo_device
