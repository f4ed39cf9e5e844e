#include "usb_sysfs.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <string_view>
#include <system_error>
#include <tuple>

namespace pvo_device {
namespace fs = std::filesystem;
namespace {

template <typename Number>
std::optional<Number> read_number(const fs::path& path, int base) {
    const auto text = read_sysfs_attribute(path);
    if (!text || text->empty()) return std::nullopt;
    Number value{};
    const char* end = text->data() + text->size();
    const auto [stop, ec] = std::from_chars(text->data(), end, value, base);
    if (ec != std::errc{} || stop != end) return std::nullopt;
    return value;
}

// The device's ids, its serial not yet read; none when they cannot be read or are not wanted.
std::optional<ListedUsbDevice> read_usb_ids(const fs::path& dir, const UsbIdFilter& wanted) {
    const auto vendor = read_number<std::uint16_t>(dir / "idVendor", 16);
    if (!vendor || (wanted.vendor && !wanted.vendor(*vendor))) return std::nullopt;
    const auto product = read_number<std::uint16_t>(dir / "idProduct", 16);
    if (!product || (wanted.device && !wanted.device(*vendor, *product))) return std::nullopt;
    return ListedUsbDevice{*vendor, *product, std::nullopt};
}

std::optional<std::string> read_usb_serial(const fs::path& dir) {
    auto serial = read_sysfs_attribute(dir / "serial");
    if (serial && serial->empty()) serial.reset();
    return serial;
}

// Interfaces are listed beside the devices, named "<device>:<configuration>.<interface>"; a
// device's name has no colon. Interfaces have no ids, so they are passed over by their name
// instead of by a read that fails.
bool is_interface(const fs::path& dir) { return dir.filename().native().contains(':'); }

// The bus number, which the kernel puts in a device's name ("<bus>-<ports>", "usb<bus>" for a
// root hub), so that it costs no read; from the busnum attribute for a name of another form.
std::optional<unsigned> bus_of(const fs::path& dir) {
    const fs::path filename = dir.filename();
    std::string_view name = filename.native();
    if (name.starts_with("usb")) name.remove_prefix(3);
    unsigned bus = 0;
    const auto [stop, ec] = std::from_chars(name.data(), name.data() + name.size(), bus);
    const bool named = ec == std::errc{} && stop != name.data() && (stop == name.data() + name.size() || *stop == '-');
    if (named) return bus;
    return read_number<unsigned>(dir / "busnum", 10);
}

struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
};

}  // namespace

std::optional<std::string> read_sysfs_attribute(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const FdCloser closer{fd};
    // The kernel hands out an attribute (at most a page) whole on the first read, and a regular
    // file (an emulated attribute) reads short only at its end: a read that returns less than
    // was asked for has reached the end, so one read is enough where reading until a read
    // returns nothing would take two.
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        text.append(buffer, static_cast<std::size_t>(n));
        if (static_cast<std::size_t>(n) < sizeof buffer) break;
    }
    if (text.ends_with('\n')) text.pop_back();
    return text;
}

std::optional<ListedUsbDevice> read_usb_identity(const fs::path& dir) {
    auto device = read_usb_ids(dir, {});
    if (device) device->serial = read_usb_serial(dir);
    return device;
}

std::vector<SysfsUsbDevice> list_sysfs_usb_devices(const UsbIdFilter& wanted, const fs::path& sys_root) {
    std::vector<SysfsUsbDevice> devices;
    std::error_code ec;
    for (fs::directory_iterator it(sys_root / "bus/usb/devices", ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& dir = it->path();
        if (is_interface(dir)) continue;
        auto device = read_usb_ids(dir, wanted);
        if (!device) continue;
        const auto bus = bus_of(dir);
        const auto address = read_number<unsigned>(dir / "devnum", 10);
        if (!bus || !address) continue;
        device->serial = read_usb_serial(dir);
        devices.push_back({*bus, *address, std::move(*device)});
    }
    std::ranges::sort(devices, {}, [](const SysfsUsbDevice& d) { return std::tie(d.bus, d.address); });
    return devices;
}

}  // namespace pvo_device
