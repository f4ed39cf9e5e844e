#include <poll.h>

#include <cerrno>

#include "fd_wait.hpp"

namespace pvo_device {

std::expected<short, int> wait_fd(int fd, short events, const Deadline& deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, deadline.poll_timeout());
        if (ready > 0) return entry.revents;
        if (ready == 0) {
            // poll() waits at most INT_MAX ms at a time; a later deadline goes around again.
            if (deadline.passed()) return 0;
            continue;
        }
        if (errno != EINTR) return std::unexpected(errno);
    }
}

}  // namespace pvo_device
