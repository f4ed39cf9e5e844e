#include <algorithm>
#include <chrono>

#include "parvello/job_device.hpp"

namespace parvello {
namespace {

using pvo_device::DeviceError;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

std::expected<Bytes, DeviceError> read_usb(pvo_device::UsbConnection& connection,
                                           std::size_t max_len) {
    if (max_len == 0) return Bytes{};
    // A printer that does not answer, or answers short, is an empty reply to the delivery
    // procedure, which decides what that means.
    return pvo_device::usb_read(connection, max_len).value_or(Bytes{});
}

std::expected<Bytes, DeviceError> read_serial(pvo_device::SerialTarget& target, std::size_t max_len,
                                              std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    Bytes reply;
    while (reply.size() < max_len) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= std::chrono::milliseconds::zero()) break;
        auto bytes = pvo_device::serial_read(target, left);
        if (!bytes) return std::unexpected(std::move(bytes.error()));
        if (bytes->empty()) break;
        reply.insert(reply.end(), bytes->begin(), bytes->end());
    }
    return reply;
}

}  // namespace

std::expected<void, DeviceError> transport_write(pvo_device::OpenTransport& device,
                                                 std::span<const std::uint8_t> bytes,
                                                 const pvo_device::TcpTimings& tcp) {
    struct Writer {
        std::span<const std::uint8_t> bytes;
        const pvo_device::TcpTimings& tcp;
        auto operator()(pvo_device::UsbConnection& c) { return pvo_device::usb_write(c, bytes); }
        auto operator()(pvo_device::SerialTarget& t) { return pvo_device::serial_write(t, bytes); }
        auto operator()(pvo_device::TcpTarget& t) { return pvo_device::tcp_write(t, bytes, tcp); }
    };
    return std::visit(Writer{bytes, tcp}, device);
}

std::expected<Bytes, DeviceError> transport_read(pvo_device::OpenTransport& device,
                                                 std::size_t max_len, std::uint32_t timeout_ms) {
    struct Reader {
        std::size_t max_len;
        std::chrono::milliseconds timeout;
        auto operator()(pvo_device::UsbConnection& c) { return read_usb(c, max_len); }
        auto operator()(pvo_device::SerialTarget& t) { return read_serial(t, max_len, timeout); }
        std::expected<Bytes, DeviceError> operator()(pvo_device::TcpTarget&) { return Bytes{}; }
    };
    return std::visit(Reader{max_len, std::chrono::milliseconds(timeout_ms)}, device);
}

OpenTransportIo::OpenTransportIo(pvo_device::OpenTransport& device, const DeviceOptions& options)
    : device_(device), tcp_(options.tcp), reply_wait_limit_(options.reply_wait_limit) {}

std::expected<void, std::string> OpenTransportIo::write(std::span<const std::uint8_t> bytes) {
    auto written = transport_write(device_, bytes, tcp_);
    if (!written) return std::unexpected(written.error().message());
    return {};
}

std::expected<Bytes, std::string> OpenTransportIo::read(std::size_t max_len, std::uint32_t timeout_ms) {
    const auto limit = static_cast<std::uint64_t>(std::max<std::int64_t>(reply_wait_limit_.count(), 0));
    const auto timeout = static_cast<std::uint32_t>(std::min<std::uint64_t>(timeout_ms, limit));
    auto reply = transport_read(device_, max_len, timeout);
    if (!reply) return std::unexpected(reply.error().message());
    return std::move(*reply);
}

}  // namespace parvello
