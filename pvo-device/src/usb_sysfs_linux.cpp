#include "usb_sysfs.hpp"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <system_error>
#include <tuple>

#include "sysfs_dir.hpp"

namespace pvo_device {
namespace fs = std::filesystem;
namespace {

// The attributes of one USB device, read through the open directory that holds it: `prefix` is
// "<device name>/" for an entry of the listing, empty for the device's own directory.
class UsbDeviceFiles {
public:
    UsbDeviceFiles(SysfsDir& dir, std::string_view prefix) : dir_(dir), path_(prefix), prefix_size_(prefix.size()) {}

    std::optional<std::string_view> attribute(std::string_view name) {
        path_.resize(prefix_size_);
        path_ += name;
        return dir_.read_attribute(path_);
    }

    template <typename Number>
    std::optional<Number> number(std::string_view name, int base) {
        const auto text = attribute(name);
        if (!text || text->empty()) return std::nullopt;
        Number value{};
        const char* end = text->data() + text->size();
        const auto [stop, ec] = std::from_chars(text->data(), end, value, base);
        if (ec != std::errc{} || stop != end) return std::nullopt;
        return value;
    }

private:
    SysfsDir& dir_;
    std::string path_;
    std::size_t prefix_size_;
};

// The device's ids, its serial not yet read; none when they cannot be read or are not wanted.
std::optional<ListedUsbDevice> read_usb_ids(UsbDeviceFiles& files, const UsbIdFilter& wanted) {
    const auto vendor = files.number<std::uint16_t>("idVendor", 16);
    if (!vendor || (wanted.vendor && !wanted.vendor(*vendor))) return std::nullopt;
    const auto product = files.number<std::uint16_t>("idProduct", 16);
    if (!product || (wanted.device && !wanted.device(*vendor, *product))) return std::nullopt;
    return ListedUsbDevice{*vendor, *product, std::nullopt};
}

std::optional<std::string> read_usb_serial(UsbDeviceFiles& files) {
    const auto serial = files.attribute("serial");
    if (!serial || serial->empty()) return std::nullopt;
    return std::string(*serial);
}

// Interfaces are listed beside the devices, named "<device>:<configuration>.<interface>"; a
// device's name has no colon. Interfaces have no ids, so they are passed over by their name
// instead of by a read that fails.
bool is_interface(std::string_view name) { return name.contains(':'); }

// The bus number, which the kernel puts in a device's name ("<bus>-<ports>", "usb<bus>" for a
// root hub), so that it costs no read; from the busnum attribute for a name of another form.
std::optional<unsigned> bus_of(std::string_view name, UsbDeviceFiles& files) {
    if (name.starts_with("usb")) name.remove_prefix(3);
    unsigned bus = 0;
    const auto [stop, ec] = std::from_chars(name.data(), name.data() + name.size(), bus);
    const bool named = ec == std::errc{} && stop != name.data() && (stop == name.data() + name.size() || *stop == '-');
    if (named) return bus;
    return files.number<unsigned>("busnum", 10);
}

}  // namespace

std::optional<ListedUsbDevice> read_usb_identity(const fs::path& dir) {
    SysfsDir device_dir(dir);
    UsbDeviceFiles files(device_dir, "");
    auto device = read_usb_ids(files, {});
    if (device) device->serial = read_usb_serial(files);
    return device;
}

std::vector<SysfsUsbDevice> list_sysfs_usb_devices(const UsbIdFilter& wanted, const fs::path& sys_root) {
    std::vector<SysfsUsbDevice> devices;
    SysfsDir dir(sys_root / "bus/usb/devices");
    std::string prefix;
    while (const auto entry = dir.next_entry()) {
        if (is_interface(entry->name)) continue;
        prefix.assign(entry->name);
        prefix += '/';
        UsbDeviceFiles files(dir, prefix);
        auto device = read_usb_ids(files, wanted);
        if (!device) continue;
        const std::string_view name(prefix.data(), prefix.size() - 1);
        const auto bus = bus_of(name, files);
        const auto address = files.number<unsigned>("devnum", 10);
        if (!bus || !address) continue;
        device->serial = read_usb_serial(files);
        devices.push_back({*bus, *address, std::move(*device)});
    }
    std::ranges::sort(devices, {}, [](const SysfsUsbDevice& d) { return std::tie(d.bus, d.address); });
    return devices;
}

}  // namespace pvo_device
