// The Device ID read over libusb alone: the printer-class file road has no control requests.
#include "pvo-device/usb_identity.hpp"

#include <libusb.h>

#include <string>
#include <utility>
#include <vector>

#include "pvo-status/device_id.hpp"
#include "usb_libusb.hpp"

namespace pvo_device {
namespace {

using pvo_status::UsbPrinterId;

// GET_DEVICE_ID of the USB printer class: a class request IN to an interface.
constexpr std::uint8_t kGetDeviceIdType = std::uint8_t{LIBUSB_ENDPOINT_IN} | std::uint8_t{LIBUSB_REQUEST_TYPE_CLASS} |
                                          std::uint8_t{LIBUSB_RECIPIENT_INTERFACE};
constexpr std::uint8_t kGetDeviceId = 0;
constexpr std::uint16_t kDeviceIdLength = 1024;

// The opened device, and its claimed interface once there is one. Release hands the interface
// back to the kernel driver detached for the claim.
class Claim {
public:
    explicit Claim(libusb_device_handle* handle) : handle_(handle) {}
    Claim(const Claim&) = delete;
    Claim& operator=(const Claim&) = delete;
    ~Claim() {
        if (interface_ >= 0) (void)libusb_release_interface(handle_, interface_);
        libusb_close(handle_);
    }

    int claim(std::uint8_t interface) {
        (void)libusb_set_auto_detach_kernel_driver(handle_, 1);  // refused where there are none
        const int rc = libusb_claim_interface(handle_, interface);
        if (rc == 0) interface_ = interface;
        return rc;
    }
    libusb_device_handle* handle() const { return handle_; }

private:
    libusb_device_handle* handle_;
    int interface_ = -1;
};

// A string the device names, when it can be read.
std::optional<std::string> device_string(libusb_device_handle* handle, std::uint8_t index) {
    return read_string(handle, index).value_or(std::nullopt);
}

}  // namespace

std::expected<pvo_status::PrintStatus, DeviceError> query_status_usb(pvo_status::Protocol protocol,
                                                                     const UsbTarget& target,
                                                                     const UsbIdentityTimings& timings) {
    if (protocol != pvo_status::Protocol::Tspl) {
        return std::unexpected(DeviceError::transport("USB identity query not supported for protocol " +
                                                      std::string(pvo_status::message_name(protocol))));
    }
    const LibusbDeviceList list;
    auto opened = open_first_match(list, target);
    if (!opened) return std::unexpected(std::move(opened.error()));
    Claim device(opened->handle);

    libusb_device_descriptor descriptor{};
    (void)libusb_get_device_descriptor(opened->device, &descriptor);  // cached: cannot fail once listed
    UsbPrinterId report;
    report.product = device_string(device.handle(), descriptor.iProduct);
    report.usb_manufacturer = device_string(device.handle(), descriptor.iManufacturer);
    report.serial_number = device_string(device.handle(), descriptor.iSerialNumber);
    report.vendor_id = descriptor.idVendor;
    report.product_id = descriptor.idProduct;

    if (const int rc = device.claim(target.interface); rc != 0)
        return std::unexpected(libusb_failure("claiming interface: ", rc));

    std::vector<std::uint8_t> reply(kDeviceIdLength);
    const int got = libusb_control_transfer(device.handle(), kGetDeviceIdType, kGetDeviceId, 0, target.interface,
                                            reply.data(), kDeviceIdLength, transfer_timeout(timings.device_id_timeout));
    if (got < 0) return std::unexpected(libusb_failure("GET_DEVICE_ID: ", got));
    reply.resize(static_cast<std::size_t>(got));

    // A Device ID that cannot be read is no failure: the report keeps what USB itself says.
    if (auto id = pvo_status::parse_device_id(reply)) {
        report.manufacturer = std::move(id->manufacturer);
        report.model = std::move(id->model);
        report.description = std::move(id->description);
        report.command_set = std::move(id->command_set);
        report.raw_device_id = std::move(id->raw);
    }
    pvo_status::clean_usb_printer_id(report);
    return pvo_status::PrintStatus(std::move(report));
}

}  // namespace pvo_device
