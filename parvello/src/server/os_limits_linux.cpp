#include <sys/resource.h>

#include <cerrno>

#include "server/os_limits.hpp"

namespace parvello {

std::expected<DescriptorLimit, int> raise_descriptor_limit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return std::unexpected(errno);
    const DescriptorLimit result{limit.rlim_cur, limit.rlim_max};
    if (limit.rlim_cur == limit.rlim_max) return result;
    limit.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return std::unexpected(errno);
    return result;
}

std::optional<std::uint64_t> descriptor_soft_limit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
    return limit.rlim_cur;
}

}  // namespace parvello
