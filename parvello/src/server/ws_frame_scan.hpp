#pragma once
// Follows the frames a WebSocket client sends, as their bytes arrive, to find a frame whose
// header announces more payload than a limit before a byte of that payload is read. The
// WebSocket library limits whole messages only; a single frame is refused here.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace parvello {

class FrameScan {
public:
    explicit FrameScan(std::uint64_t frame_limit) noexcept : limit_(frame_limit) {}

    // Takes the next bytes from the client. Gives how many of them come before the header of
    // a frame over the limit (0 when that header began in earlier bytes), or all of them when
    // there is none. Once such a frame is found, every later call gives 0.
    std::size_t take(std::span<const std::uint8_t> bytes) noexcept;

    bool refused() const noexcept { return refused_; }

private:
    // The header's size once its first two bytes are in: the length fields and the mask key
    // follow them.
    std::size_t header_size() const noexcept;
    std::uint64_t payload_length() const noexcept;

    std::uint64_t limit_;
    std::array<std::uint8_t, 14> header_{};
    std::size_t header_taken_ = 0;
    std::uint64_t payload_left_ = 0;
    bool refused_ = false;
};

}  // namespace parvello
