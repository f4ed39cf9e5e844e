// Finding printer-class interfaces in sysfs and opening the matching node.
#include <algorithm>
#include <charconv>
#include <system_error>

#include "pvo-util/text.hpp"
#include "usb_sysfs.hpp"
#include "usbprint.hpp"

namespace pvo_device {
namespace fs = std::filesystem;
namespace {

// "lp" followed by digits: the number, else nothing.
std::optional<unsigned> lp_number(std::string_view name) {
    if (!name.starts_with("lp") || name.size() == 2) return std::nullopt;
    unsigned n = 0;
    const auto* end = name.data() + name.size();
    auto [p, ec] = std::from_chars(name.data() + 2, end, n);
    if (ec != std::errc{} || p != end) return std::nullopt;
    return n;
}

// The USB device of a usbmisc entry: the nearest directory above it (inside sysfs) that has
// idVendor and idProduct.
std::optional<UsbprintIdentity> identity_of(const fs::path& entry, const fs::path& sys_root) {
    std::error_code ec;
    const fs::path root = fs::canonical(sys_root, ec);
    if (ec) return std::nullopt;
    fs::path dir = fs::canonical(entry, ec);
    if (ec) return std::nullopt;
    for (; dir != root && dir.has_relative_path() && dir != dir.parent_path(); dir = dir.parent_path()) {
        if (!fs::exists(dir / "idVendor", ec) || !fs::exists(dir / "idProduct", ec)) continue;
        auto device = read_usb_identity(dir);
        if (!device) return std::nullopt;
        return UsbprintIdentity{device->vendor_id, device->product_id, std::move(device->serial)};
    }
    return std::nullopt;
}

}  // namespace

bool usbprint_matches(const UsbprintIdentity& found, std::uint16_t vendor_id, std::uint16_t product_id,
                      const std::optional<std::string>& serial) {
    if (found.vendor_id != vendor_id || found.product_id != product_id) return false;
    if (!serial) return true;
    return found.serial && pvo_util::ascii_iequals(*found.serial, *serial);
}

std::expected<std::vector<UsbprintInterface>, DeviceError> list_usbprint(const fs::path& sys_root) {
    const fs::path dir = sys_root / "class" / "usbmisc";
    std::vector<std::pair<unsigned, UsbprintInterface>> found;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec == std::errc::no_such_file_or_directory) return std::vector<UsbprintInterface>{};
    if (ec)
        return std::unexpected(DeviceError::transport("opendir(" + dir.string() + ")" + os_error_suffix(ec.value())));
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const auto number = lp_number(name);
        if (!number) continue;
        if (auto id = identity_of(it->path(), sys_root)) {
            found.push_back({*number, UsbprintInterface{name, std::move(*id)}});
        }
    }
    if (ec)
        return std::unexpected(DeviceError::transport("readdir(" + dir.string() + ")" + os_error_suffix(ec.value())));
    std::ranges::sort(found, {}, &decltype(found)::value_type::first);
    std::vector<UsbprintInterface> out;
    for (auto& [n, iface] : found) out.push_back(std::move(iface));
    return out;
}

std::expected<std::optional<LpNode>, DeviceError> find_usbprint(std::uint16_t vendor_id, std::uint16_t product_id,
                                                                const std::optional<std::string>& serial,
                                                                const fs::path& sys_root, const fs::path& dev_root) {
    auto interfaces = list_usbprint(sys_root);
    if (!interfaces) return std::unexpected(std::move(interfaces.error()));
    for (const auto& iface : *interfaces) {
        if (!usbprint_matches(iface.identity, vendor_id, product_id, serial)) continue;
        auto node = LpNode::open(dev_root / "usb" / iface.name);
        if (!node)
            return std::unexpected(DeviceError::transport("opening USBPRINT device" + os_error_suffix(node.error())));
        return std::optional<LpNode>(std::move(*node));
    }
    return std::optional<LpNode>{};
}

}  // namespace pvo_device
