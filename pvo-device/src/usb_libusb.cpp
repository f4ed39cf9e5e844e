#include "usb_libusb.hpp"

#include <libusb.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "usb_reply.hpp"

namespace pvo_device {
namespace {

using std::chrono::milliseconds;

// libusb takes whole milliseconds, where 0 means no limit.
unsigned transfer_timeout(milliseconds timeout) {
    if (timeout <= milliseconds{0}) return 1;
    if (static_cast<unsigned long long>(timeout.count()) >= UINT_MAX) return 0;
    return static_cast<unsigned>(timeout.count());
}

std::string library_text(int rc) { return libusb_strerror(rc); }

DeviceError failure(std::string_view what, int rc) {
    return DeviceError::transport(std::string(what) + library_text(rc));
}

// The serial number from the device's string descriptors, in its first language. None when
// the device names no serial or its descriptors are malformed.
std::expected<std::optional<std::string>, int> read_serial(libusb_device_handle* handle,
                                                           std::uint8_t index) {
    if (index == 0) return std::nullopt;
    unsigned char buf[255];
    int r = libusb_get_string_descriptor(handle, 0, 0, buf, sizeof buf);
    if (r < 0) return std::unexpected(r);
    if (r < 4 || buf[1] != LIBUSB_DT_STRING) return std::nullopt;
    const auto language = static_cast<std::uint16_t>(buf[2] | (buf[3] << 8));
    r = libusb_get_string_descriptor(handle, index, language, buf, sizeof buf);
    if (r < 0) return std::unexpected(r);
    if (r < 2 || buf[1] != LIBUSB_DT_STRING) return std::nullopt;
    const std::size_t length = std::min<std::size_t>(buf[0], static_cast<std::size_t>(r));
    if (length < 2) return std::string();
    return utf16le_to_utf8(std::span<const std::uint8_t>(buf + 2, length - 2));
}

struct Endpoint {
    std::uint8_t address = 0;
    std::size_t packet = 0;
};

// The first bulk endpoint of the given direction on alternate setting 0 of the interface.
std::expected<Endpoint, DeviceError> find_bulk(const libusb_config_descriptor& config,
                                               std::uint8_t number, std::uint8_t direction) {
    for (int i = 0; i < config.bNumInterfaces; ++i) {
        const libusb_interface& iface = config.interface[i];
        for (int a = 0; a < iface.num_altsetting; ++a) {
            const libusb_interface_descriptor& alt = iface.altsetting[a];
            if (alt.bInterfaceNumber != number || alt.bAlternateSetting != 0) continue;
            for (int e = 0; e < alt.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& ep = alt.endpoint[e];
                if ((ep.bmAttributes & 3) == LIBUSB_TRANSFER_TYPE_BULK &&
                    (ep.bEndpointAddress & 0x80) == direction) {
                    return Endpoint{ep.bEndpointAddress, static_cast<std::size_t>(ep.wMaxPacketSize & 0x7FF)};
                }
            }
            return std::unexpected(DeviceError::transport(
                std::string("no bulk ") + (direction == LIBUSB_ENDPOINT_IN ? "IN" : "OUT") +
                " endpoint on usb interface " + std::to_string(number)));
        }
    }
    return std::unexpected(DeviceError::transport("usb interface " + std::to_string(number) +
                                                  " not in configuration"));
}

struct ConfigDeleter {
    void operator()(libusb_config_descriptor* c) const { libusb_free_config_descriptor(c); }
};

}  // namespace

std::expected<LibusbConnection, DeviceError> LibusbConnection::open(const UsbTarget& target) {
    const auto not_found = [&] { return DeviceError::not_found(usb_id_text(target.vendor_id, target.product_id)); };
    LibusbConnection c;
    // A system where libusb cannot start has no USB devices to offer.
    if (libusb_init(&c.context_) != 0) {
        c.context_ = nullptr;
        return std::unexpected(not_found());
    }

    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(c.context_, &list);
    libusb_device* device = nullptr;
    std::optional<std::string> unreadable;  // why a candidate's serial could not be read
    int open_rc = 0;
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(list[i], &d) != 0) continue;
        if (d.idVendor != target.vendor_id || d.idProduct != target.product_id) continue;
        libusb_device_handle* handle = nullptr;
        open_rc = libusb_open(list[i], &handle);
        if (!target.serial) {
            device = list[i];
            c.handle_ = handle;
            break;
        }
        if (open_rc != 0) {
            unreadable = library_text(open_rc);
            continue;
        }
        auto serial = read_serial(handle, d.iSerialNumber);
        if (serial && *serial == target.serial) {
            device = list[i];
            c.handle_ = handle;
            break;
        }
        libusb_close(handle);
    }
    if (device) libusb_ref_device(device);
    if (count >= 0) libusb_free_device_list(list, 1);
    std::unique_ptr<libusb_device, decltype(&libusb_unref_device)> held(device, libusb_unref_device);

    if (!device) {
        // A device that would not open may be the one asked for: say so rather than "not found".
        if (unreadable) return std::unexpected(DeviceError::transport("opening device: " + *unreadable));
        return std::unexpected(not_found());
    }
    if (open_rc != 0) return std::unexpected(failure("opening device: ", open_rc));

    const std::string config_prefix = "reading active usb configuration: ";
    int value = 0;
    if (const int rc = libusb_get_configuration(c.handle_, &value); rc != 0) {
        return std::unexpected(failure(config_prefix, rc));
    }
    if (value == 0) return std::unexpected(DeviceError::transport(config_prefix + "device is not configured"));
    libusb_config_descriptor* raw_config = nullptr;
    if (const int rc = libusb_get_config_descriptor_by_value(device, static_cast<std::uint8_t>(value), &raw_config);
        rc != 0) {
        if (rc == LIBUSB_ERROR_NOT_FOUND) {
            return std::unexpected(DeviceError::transport(
                config_prefix + "no descriptor found for active configuration " + std::to_string(value)));
        }
        return std::unexpected(failure(config_prefix, rc));
    }
    const std::unique_ptr<libusb_config_descriptor, ConfigDeleter> config(raw_config);

    auto out = find_bulk(*config, target.interface, LIBUSB_ENDPOINT_OUT);
    if (!out) return std::unexpected(std::move(out.error()));
    auto in = find_bulk(*config, target.interface, LIBUSB_ENDPOINT_IN);
    if (!in) return std::unexpected(std::move(in.error()));

    // The kernel driver (usblp for a printer) steps aside while the interface is claimed and
    // gets it back at release. Platforms without kernel drivers to detach refuse; that is fine.
    (void)libusb_set_auto_detach_kernel_driver(c.handle_, 1);
    if (const int rc = libusb_claim_interface(c.handle_, target.interface); rc != 0) {
        return std::unexpected(failure("claiming interface: ", rc));
    }
    c.interface_ = target.interface;
    c.out_ = out->address;
    c.in_ = in->address;
    c.in_packet_ = in->packet == 0 ? 64 : in->packet;
    return c;
}

LibusbConnection::LibusbConnection(LibusbConnection&& other) noexcept
    : context_(std::exchange(other.context_, nullptr)),
      handle_(std::exchange(other.handle_, nullptr)),
      interface_(std::exchange(other.interface_, -1)),
      out_(other.out_),
      in_(other.in_),
      in_packet_(other.in_packet_) {}

LibusbConnection& LibusbConnection::operator=(LibusbConnection&& other) noexcept {
    if (this != &other) {
        close();
        context_ = std::exchange(other.context_, nullptr);
        handle_ = std::exchange(other.handle_, nullptr);
        interface_ = std::exchange(other.interface_, -1);
        out_ = other.out_;
        in_ = other.in_;
        in_packet_ = other.in_packet_;
    }
    return *this;
}

LibusbConnection::~LibusbConnection() { close(); }

void LibusbConnection::close() noexcept {
    if (handle_) {
        if (interface_ >= 0) (void)libusb_release_interface(handle_, interface_);
        libusb_close(handle_);
    }
    if (context_) libusb_exit(context_);
    handle_ = nullptr;
    context_ = nullptr;
    interface_ = -1;
}

std::expected<void, DeviceError> LibusbConnection::write(std::span<const std::uint8_t> bytes,
                                                         milliseconds timeout) {
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        return std::unexpected(DeviceError::transport("bulk out: " + transfer_error_text(LIBUSB_ERROR_INVALID_PARAM)));
    }
    unsigned char none = 0;
    auto* data = bytes.empty() ? &none : const_cast<unsigned char*>(bytes.data());
    int transferred = 0;
    const int rc = libusb_bulk_transfer(handle_, out_, data, static_cast<int>(bytes.size()), &transferred,
                                        transfer_timeout(timeout));
    if (rc != 0) return std::unexpected(DeviceError::transport("bulk out: " + transfer_error_text(rc)));
    return {};
}

std::expected<std::vector<std::uint8_t>, DeviceError> LibusbConnection::read(std::size_t max_len,
                                                                             const UsbTimings& timings) {
    const auto read_chunk = [this](std::vector<std::uint8_t>& out, milliseconds wait,
                                   std::size_t want) -> std::expected<ChunkEnd, DeviceError> {
        // Whole packets, so that a packet longer than the bytes still missing is not cut.
        const std::size_t packets = std::max<std::size_t>((want + in_packet_ - 1) / in_packet_, 1);
        const std::size_t length = std::min(packets * in_packet_, static_cast<std::size_t>(1) << 20);
        std::vector<std::uint8_t> buffer(length);
        int transferred = 0;
        const int rc = libusb_bulk_transfer(handle_, in_, buffer.data(), static_cast<int>(length), &transferred,
                                            transfer_timeout(wait));
        if (transferred > 0 && (rc == 0 || rc == LIBUSB_ERROR_TIMEOUT)) {
            out.insert(out.end(), buffer.begin(), buffer.begin() + transferred);
            return ChunkEnd::Bytes;
        }
        if (rc == LIBUSB_ERROR_TIMEOUT) return ChunkEnd::TimedOut;
        if (rc != 0) return std::unexpected(DeviceError::transport("bulk in: " + transfer_error_text(rc)));
        return ChunkEnd::Empty;
    };
    return collect_reply(max_len, timings,
                         {"bulk in: " + transfer_error_text(LIBUSB_ERROR_TIMEOUT),
                          "bulk in: printer returned no status bytes"},
                         read_chunk);
}

}  // namespace pvo_device
