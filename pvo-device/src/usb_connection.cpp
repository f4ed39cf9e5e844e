// Opening a USB device by either road, and dispatching writes and reads to the road in use.
#include "usb_connection.hpp"

#include "pvo-log/log.hpp"
#include "usbprint.hpp"

namespace pvo_device {
namespace {
constexpr std::string_view kTarget = "pvo_device::usb";
}

UsbConnection::UsbConnection(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
UsbConnection::UsbConnection(UsbConnection&&) noexcept = default;
UsbConnection& UsbConnection::operator=(UsbConnection&&) noexcept = default;
UsbConnection::~UsbConnection() = default;

UsbConnection::Road UsbConnection::road() const noexcept {
    return std::holds_alternative<LpNode>(impl_->device) ? Road::PrinterClass : Road::Libusb;
}

std::expected<UsbConnection, DeviceError> open_usb(const UsbTarget& target, const UsbOptions& options) {
    const std::string id = usb_id_text(target.vendor_id, target.product_id);
    auto node = find_usbprint(target.vendor_id, target.product_id, target.serial, options.sys_root, options.dev_root);
    if (!node) return std::unexpected(std::move(node.error()));
    if (*node) {
        pvo_log::debug(kTarget, "{}: opened through the printer-class driver", id);
        return UsbConnection(
            std::make_unique<UsbConnection::Impl>(UsbConnection::Impl{std::move(**node), options.timings}));
    }
    auto device = LibusbConnection::open(target);
    if (!device) return std::unexpected(std::move(device.error()));
    pvo_log::debug(kTarget, "{}: opened through libusb, bulk out 0x{:02x}, bulk in 0x{:02x}", id,
                   device->out_endpoint(), device->in_endpoint());
    return UsbConnection(
        std::make_unique<UsbConnection::Impl>(UsbConnection::Impl{std::move(*device), options.timings}));
}

std::expected<void, DeviceError> usb_write(UsbConnection& connection, std::span<const std::uint8_t> bytes) {
    auto& impl = connection.impl();
    if (auto* node = std::get_if<LpNode>(&impl.device)) {
        return usbprint_write(*node, bytes, impl.timings.write_timeout);
    }
    return std::get<LibusbConnection>(impl.device).write(bytes, impl.timings.write_timeout);
}

std::expected<std::vector<std::uint8_t>, DeviceError> usb_read(UsbConnection& connection, std::size_t max_len) {
    auto& impl = connection.impl();
    if (auto* node = std::get_if<LpNode>(&impl.device)) return usbprint_read(*node, max_len, impl.timings);
    return std::get<LibusbConnection>(impl.device).read(max_len, impl.timings);
}

}  // namespace pvo_device
