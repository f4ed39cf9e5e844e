// The status query and the soft reboot, each on its own briefly opened device.
#include "job/device_query.hpp"

#include <cstdint>
#include <optional>
#include <vector>

#include "pvo-status/parse_status.hpp"
#include "pvo-status/status_query.hpp"

namespace parvello {
namespace {

using pvo_status::Protocol;

std::expected<pvo_status::PrintStatus, std::string> query_identity(const Transport& address,
                                                                   const DeviceQueryOptions& options) {
    const auto* usb = std::get_if<UsbAddress>(&address);
    if (usb == nullptr) return std::unexpected("USB Device ID identity requires a USB transport");
    // The same target as opening the address for a job: interface 0.
    const pvo_device::UsbTarget target{usb->vendor_id, usb->product_id, usb->serial, 0};
    auto status = pvo_device::query_status_usb(Protocol::Tspl, target, options.identity);
    if (!status) return std::unexpected(status.error().message());
    return std::move(*status);
}

}  // namespace

std::expected<pvo_status::PrintStatus, std::string> query_status(Protocol protocol, const Transport& address,
                                                                 const DeviceQueryOptions& options) {
    if (protocol == Protocol::Tspl) return query_identity(address, options);

    const auto request = pvo_status::status_query_bytes(protocol);
    if (!request) return std::unexpected(request.error().message);
    auto device = open_transport(address, options.device);
    if (!device) return std::unexpected(device.error().to_string());
    // `device` is closed when it goes out of scope, on every road out of here.
    const auto reply = device->exchange(*request, pvo_status::status_reply_length(protocol), options.status_read_limit);
    if (!reply) return std::unexpected(reply.error().message());
    if (reply->empty()) return std::unexpected("status query timed out (empty reply)");
    auto status = pvo_status::parse_status(protocol, *reply);
    if (!status) return std::unexpected(status.error().message);
    return std::move(*status);
}

std::expected<void, std::string> soft_reboot(Protocol protocol, const Transport& address,
                                             const DeviceQueryOptions& options) {
    if (protocol != Protocol::DymoLw) {
        return std::unexpected("soft reboot not supported for protocol " +
                               std::string(pvo_status::message_name(protocol)));
    }
    auto device = open_transport(address, options.device);
    if (!device) return std::unexpected(device.error().to_string());
    static constexpr std::uint8_t reset[] = {0x1B, 0x40};  // ESC @
    if (auto written = device->write(reset); !written) return std::unexpected(written.error().message());
    options.hold(options.reboot_hold);
    return {};
}

}  // namespace parvello
