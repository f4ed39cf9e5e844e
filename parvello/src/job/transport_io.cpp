// The job runner's io over the device surface: device errors become their display texts here.
#include <algorithm>
#include <chrono>

#include "job/transport_io.hpp"

namespace parvello {

OpenTransportIo::OpenTransportIo(pvo_device::OpenTransport& device, const DeviceOptions& options)
    : device_(device), reply_wait_limit_(options.reply_wait_limit) {}

std::expected<void, std::string> OpenTransportIo::write(std::span<const std::uint8_t> bytes) {
    auto written = device_.write(bytes);
    if (!written) return std::unexpected(written.error().message());
    return {};
}

std::expected<std::vector<std::uint8_t>, std::string> OpenTransportIo::read(std::size_t max_len,
                                                                            std::uint32_t timeout_ms) {
    const auto limit = std::min<std::chrono::milliseconds>(std::chrono::milliseconds(timeout_ms),
                                                           std::max(reply_wait_limit_, std::chrono::milliseconds{0}));
    auto reply = device_.read(max_len, limit);
    if (!reply) return std::unexpected(reply.error().message());
    return std::move(*reply);
}

}  // namespace parvello
