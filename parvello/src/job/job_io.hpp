#pragma once
// The writes and reads of an open device that the job runner drives.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

namespace parvello {

// Failures are device-error display texts, such as "transport error: serial write: ...".
class TransportIo {
public:
    virtual ~TransportIo() = default;
    // Every byte, in one call of the device's own write.
    virtual std::expected<void, std::string> write(std::span<const std::uint8_t> bytes) = 0;
    // A reply of up to `max_len` bytes within `timeout_ms` (how each kind of device reads is
    // its own; see `pvo_device::OpenTransport::read`). No bytes is a reply too.
    virtual std::expected<std::vector<std::uint8_t>, std::string> read(std::size_t max_len,
                                                                       std::uint32_t timeout_ms) = 0;
};

}  // namespace parvello
