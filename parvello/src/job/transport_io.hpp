#pragma once
// The job runner's io over an open device.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "job/job_io.hpp"
#include "job/open_transport.hpp"
#include "pvo-device/transport.hpp"

namespace parvello {

// `TransportIo` over an open device, which it borrows.
class OpenTransportIo final : public TransportIo {
public:
    explicit OpenTransportIo(pvo_device::OpenTransport& device, const DeviceOptions& options = {});
    std::expected<void, std::string> write(std::span<const std::uint8_t> bytes) override;
    std::expected<std::vector<std::uint8_t>, std::string> read(std::size_t max_len, std::uint32_t timeout_ms) override;

private:
    pvo_device::OpenTransport& device_;
    std::chrono::milliseconds reply_wait_limit_;
};

}  // namespace parvello
