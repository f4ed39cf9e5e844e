#include "usb_libusb.hpp"

#include <libusb.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "reply.hpp"
#include "usb_sysfs.hpp"

namespace pvo_device {
namespace {

using std::chrono::milliseconds;

std::string library_text(int rc) { return libusb_strerror(rc); }

struct Endpoint {
    std::uint8_t address = 0;
    std::size_t packet = 0;
};

// The first bulk endpoint of the given direction on alternate setting 0 of the interface.
std::expected<Endpoint, DeviceError> find_bulk(const libusb_config_descriptor& config, std::uint8_t number,
                                               std::uint8_t direction) {
    for (int i = 0; i < config.bNumInterfaces; ++i) {
        const libusb_interface& iface = config.interface[i];
        for (int a = 0; a < iface.num_altsetting; ++a) {
            const libusb_interface_descriptor& alt = iface.altsetting[a];
            if (alt.bInterfaceNumber != number || alt.bAlternateSetting != 0) continue;
            for (int e = 0; e < alt.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& ep = alt.endpoint[e];
                if ((ep.bmAttributes & 3) == LIBUSB_TRANSFER_TYPE_BULK && (ep.bEndpointAddress & 0x80) == direction) {
                    return Endpoint{ep.bEndpointAddress, static_cast<std::size_t>(ep.wMaxPacketSize & 0x7FF)};
                }
            }
            return std::unexpected(DeviceError::transport(std::string("no bulk ") +
                                                          (direction == LIBUSB_ENDPOINT_IN ? "IN" : "OUT") +
                                                          " endpoint on usb interface " + std::to_string(number)));
        }
    }
    return std::unexpected(DeviceError::transport("usb interface " + std::to_string(number) + " not in configuration"));
}

struct ConfigDeleter {
    void operator()(libusb_config_descriptor* c) const { libusb_free_config_descriptor(c); }
};

}  // namespace

unsigned transfer_timeout(milliseconds timeout) {
    if (timeout <= milliseconds{0}) return 1;
    if (static_cast<unsigned long long>(timeout.count()) >= UINT_MAX) return 0;
    return static_cast<unsigned>(timeout.count());
}

DeviceError libusb_failure(std::string_view what, int rc) {
    return DeviceError::transport(std::string(what) + library_text(rc));
}

libusb_context* libusb_process_context() {
    // Never exited: threads may still use it while the process ends, and the system reclaims it.
    static libusb_context* const context = [] {
        libusb_context* made = nullptr;
        return libusb_init(&made) == 0 ? made : nullptr;
    }();
    return context;
}

LibusbDeviceList::LibusbDeviceList() {
    libusb_context* context = libusb_process_context();
    if (context == nullptr) return;
    const ssize_t count = libusb_get_device_list(context, &list_);
    if (count < 0) {
        list_ = nullptr;
        return;
    }
    count_ = static_cast<std::size_t>(count);
}

LibusbDeviceList::~LibusbDeviceList() {
    if (list_ != nullptr) libusb_free_device_list(list_, 1);
}

std::optional<ListedDevice> describe_device(libusb_device* device) {
    libusb_device_descriptor d{};
    if (libusb_get_device_descriptor(device, &d) != 0) return std::nullopt;
    return ListedDevice{{d.idVendor, d.idProduct, libusb_get_bus_number(device), libusb_get_device_address(device), {}},
                        d.iSerialNumber};
}

std::expected<OpenedDevice, DeviceError> open_first_match(const LibusbDeviceList& list, const UsbTarget& target) {
    // The serial numbers come from sysfs, which the same kernel fills from the same string
    // descriptors: only the device asked for is opened, so one that is busy or not ours to
    // open never stands in the way of another, nor turns "not found" into an opening error.
    std::vector<SysfsUsbDevice> described;
    if (target.serial) described = list_sysfs_usb_devices();
    const auto serial_of = [&](const UsbDeviceInfo& info) -> const std::optional<std::string>* {
        const auto it = std::ranges::find_if(
            described, [&](const SysfsUsbDevice& d) { return d.bus == info.bus && d.address == info.address; });
        return it == described.end() ? nullptr : &it->device.serial;
    };
    for (libusb_device* device : list.devices()) {
        const auto listed = describe_device(device);
        if (!listed || listed->info.vendor_id != target.vendor_id || listed->info.product_id != target.product_id) {
            continue;
        }
        if (target.serial) {
            const auto* serial = serial_of(listed->info);
            if (serial == nullptr || *serial != target.serial) continue;
        }
        libusb_device_handle* handle = nullptr;
        if (const int rc = libusb_open(device, &handle); rc != 0) {
            return std::unexpected(libusb_failure("opening device: ", rc));
        }
        return OpenedDevice{device, handle};
    }
    return std::unexpected(DeviceError::not_found(usb_id_text(target.vendor_id, target.product_id)));
}

std::expected<std::optional<std::string>, int> read_string(libusb_device_handle* handle, std::uint8_t index) {
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

std::vector<UsbDeviceInfo> list_usb_devices(UsbSerials serials) {
    const LibusbDeviceList list;
    std::vector<UsbDeviceInfo> out;
    for (libusb_device* device : list.devices()) {
        auto listed = describe_device(device);
        if (!listed) continue;
        libusb_device_handle* handle = nullptr;
        if (serials == UsbSerials::Read && listed->serial_index != 0 && libusb_open(device, &handle) == 0) {
            listed->info.serial = read_string(handle, listed->serial_index).value_or(std::nullopt);
            libusb_close(handle);
        }
        out.push_back(std::move(listed->info));
    }
    return out;
}

std::expected<LibusbConnection, DeviceError> LibusbConnection::open(const UsbTarget& target) {
    const LibusbDeviceList list;
    auto opened = open_first_match(list, target);
    if (!opened) return std::unexpected(std::move(opened.error()));
    libusb_device* const device = opened->device;
    LibusbConnection c;
    c.handle_ = opened->handle;

    const std::string config_prefix = "reading active usb configuration: ";
    int value = 0;
    if (const int rc = libusb_get_configuration(c.handle_, &value); rc != 0) {
        return std::unexpected(libusb_failure(config_prefix, rc));
    }
    if (value == 0) return std::unexpected(DeviceError::transport(config_prefix + "device is not configured"));
    libusb_config_descriptor* raw_config = nullptr;
    if (const int rc = libusb_get_config_descriptor_by_value(device, static_cast<std::uint8_t>(value), &raw_config);
        rc != 0) {
        if (rc == LIBUSB_ERROR_NOT_FOUND) {
            return std::unexpected(DeviceError::transport(
                config_prefix + "no descriptor found for active configuration " + std::to_string(value)));
        }
        return std::unexpected(libusb_failure(config_prefix, rc));
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
        return std::unexpected(libusb_failure("claiming interface: ", rc));
    }
    c.interface_ = target.interface;
    c.out_ = out->address;
    c.in_ = in->address;
    c.in_packet_ = in->packet == 0 ? 64 : in->packet;
    return c;
}

LibusbConnection::LibusbConnection(LibusbConnection&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      interface_(std::exchange(other.interface_, -1)),
      out_(other.out_),
      in_(other.in_),
      in_packet_(other.in_packet_) {}

LibusbConnection& LibusbConnection::operator=(LibusbConnection&& other) noexcept {
    if (this != &other) {
        close();
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
    handle_ = nullptr;
    interface_ = -1;
}

std::expected<void, DeviceError> LibusbConnection::write(std::span<const std::uint8_t> bytes, milliseconds timeout) {
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
    return collect_reply(
        max_len, timings,
        {"bulk in: " + transfer_error_text(LIBUSB_ERROR_TIMEOUT), "bulk in: printer returned no status bytes"},
        read_chunk);
}

}  // namespace pvo_device
