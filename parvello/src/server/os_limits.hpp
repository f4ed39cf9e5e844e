#pragma once
// The server's one call to the operating system outside Asio: the process's descriptor limit.
#include <cstdint>
#include <expected>
#include <optional>

namespace parvello {

struct DescriptorLimit {
    std::uint64_t before = 0;
    std::uint64_t after = 0;
};

// Raises the soft limit on open descriptors to the hard limit. Gives the soft limit before and
// after, or the errno value of a failed call (the limit then stays as it was).
std::expected<DescriptorLimit, int> raise_descriptor_limit();

// The process's soft limit on open descriptors; none when it cannot be read or is unlimited.
std::optional<std::uint64_t> descriptor_soft_limit();

}  // namespace parvello
