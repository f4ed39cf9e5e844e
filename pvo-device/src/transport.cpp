// Dispatching the surface's writes and reads to the kind of device, with each kind's reply rule.
#include "pvo-device/transport.hpp"

namespace pvo_device {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A printer that does not answer, or whose read fails, gives an empty reply to the delivery
// procedure or status query, which decides what that means.
Bytes read_usb(UsbConnection& connection, std::size_t max_len) {
    if (max_len == 0) return {};
    return usb_read(connection, max_len).value_or(Bytes{});
}

// serial_read is the whole reply rule: `max_len` bytes, the limit, or the read gap.
std::expected<Bytes, DeviceError> read_serial(SerialTarget& target, std::size_t max_len,
                                              std::chrono::milliseconds limit) {
    if (limit <= std::chrono::milliseconds::zero()) return Bytes{};  // not even opened
    return serial_read(target, max_len, limit);
}

}  // namespace

std::expected<void, DeviceError> OpenTransport::write(std::span<const std::uint8_t> bytes) {
    struct Writer {
        std::span<const std::uint8_t> bytes;
        auto operator()(UsbConnection& c) const { return usb_write(c, bytes); }
        auto operator()(SerialTarget& t) const { return serial_write(t, bytes); }
        auto operator()(TcpTarget& t) const { return tcp_write(t, bytes, t.timings); }
    };
    return std::visit(Writer{bytes}, static_cast<DeviceKinds&>(*this));
}

std::expected<Bytes, DeviceError> OpenTransport::read(std::size_t max_len, std::chrono::milliseconds limit) {
    struct Reader {
        std::size_t max_len;
        std::chrono::milliseconds limit;
        std::expected<Bytes, DeviceError> operator()(UsbConnection& c) const { return read_usb(c, max_len); }
        std::expected<Bytes, DeviceError> operator()(SerialTarget& t) const { return read_serial(t, max_len, limit); }
        std::expected<Bytes, DeviceError> operator()(TcpTarget&) const { return Bytes{}; }
    };
    return std::visit(Reader{max_len, limit}, static_cast<DeviceKinds&>(*this));
}

std::expected<Bytes, DeviceError> OpenTransport::exchange(std::span<const std::uint8_t> request, std::size_t max_len,
                                                          std::chrono::milliseconds limit) {
    if (auto* tcp = std::get_if<TcpTarget>(this)) return tcp_query(*tcp, request, max_len, limit, tcp->timings);
    if (auto written = write(request); !written) return std::unexpected(std::move(written.error()));
    return read(max_len, limit);
}

}  // namespace pvo_device
