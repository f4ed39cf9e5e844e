#pragma once
// Waiting on a descriptor with poll() until a deadline, the one way every device node of
// this library is waited on.
#include <expected>

#include "deadline.hpp"

namespace pvo_device {

// Waits until `fd` is ready for `events` (POLLIN, POLLOUT) or `deadline` passes; an
// interrupted poll() goes on waiting for the time that is left. Returns the events that
// occurred (a hang-up or error condition among them), 0 when the time ran out, or the errno
// value of a failed poll().
std::expected<short, int> wait_fd(int fd, short events, const Deadline& deadline);

}  // namespace pvo_device
