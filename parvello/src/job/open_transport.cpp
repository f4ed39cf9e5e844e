#include <fmt/format.h>

#include "job/open_transport.hpp"
#include "parvello/product.hpp"

namespace parvello {
namespace {

using pvo_device::OpenTransport;

// The build option that would add Bluetooth LE; this program is built without it.
constexpr std::string_view kBleBuildOption = "PVO_WITH_BLE";

struct Opener {
    const DeviceOptions& options;

    std::expected<OpenTransport, JobError> operator()(const UsbAddress& a) const {
        const pvo_device::UsbTarget target{a.vendor_id, a.product_id, a.serial, 0};
        auto connection = pvo_device::open_usb(target, options.usb);
        if (!connection) return std::unexpected(JobError::transport(connection.error().message()));
        return OpenTransport(std::in_place_type<pvo_device::UsbConnection>, std::move(*connection));
    }
    std::expected<OpenTransport, JobError> operator()(const NetworkAddress& a) const {
        return OpenTransport(std::in_place_type<pvo_device::TcpTarget>, a.host, a.port, options.tcp);
    }
    std::expected<OpenTransport, JobError> operator()(const SerialAddress& a) const {
        return OpenTransport(std::in_place_type<pvo_device::SerialTarget>, a.path, a.baud, options.serial);
    }
    std::expected<OpenTransport, JobError> operator()(const BleAddress&) const {
        return std::unexpected(JobError::transport(ble_refusal_text()));
    }
    std::expected<OpenTransport, JobError> operator()(const BrowserAddress&) const {
        return std::unexpected(JobError::browser_unsupported());
    }
};

}  // namespace

std::string ble_refusal_text() {
    return fmt::format("Bluetooth LE support not compiled in; rebuild {} with `{}`", kProductName, kBleBuildOption);
}

std::expected<OpenTransport, JobError> open_transport(const Transport& address, const DeviceOptions& options) {
    return std::visit(Opener{options}, address);
}

}  // namespace parvello
