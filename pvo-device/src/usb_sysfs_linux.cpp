#include "usb_sysfs.hpp"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
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

}  // namespace

std::optional<std::string> read_sysfs_attribute(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return std::nullopt;
    if (text.ends_with('\n')) text.pop_back();
    return text;
}

std::optional<ListedUsbDevice> read_usb_identity(const fs::path& dir) {
    const auto vendor = read_number<std::uint16_t>(dir / "idVendor", 16);
    const auto product = read_number<std::uint16_t>(dir / "idProduct", 16);
    if (!vendor || !product) return std::nullopt;
    ListedUsbDevice device{*vendor, *product, read_sysfs_attribute(dir / "serial")};
    if (device.serial && device.serial->empty()) device.serial.reset();
    return device;
}

std::vector<SysfsUsbDevice> list_sysfs_usb_devices(const fs::path& sys_root) {
    std::vector<SysfsUsbDevice> devices;
    std::error_code ec;
    for (fs::directory_iterator it(sys_root / "bus/usb/devices", ec), end; !ec && it != end; it.increment(ec)) {
        const auto bus = read_number<unsigned>(it->path() / "busnum", 10);
        const auto address = read_number<unsigned>(it->path() / "devnum", 10);
        auto identity = read_usb_identity(it->path());
        if (bus && address && identity) devices.push_back({*bus, *address, std::move(*identity)});
    }
    std::ranges::sort(devices, {}, [](const SysfsUsbDevice& d) { return std::tie(d.bus, d.address); });
    return devices;
}

}  // namespace pvo_device
