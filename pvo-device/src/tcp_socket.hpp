#pragma once
// What the kernel knows about a connected TCP socket: how far the peer has acknowledged our
// data, and whether the connection has ended. The one seam between
// the TCP transport and the Linux socket calls it needs beyond Asio.
#include <cstddef>
#include <cstdint>
#include <expected>

namespace pvo_device::tcp_socket {

struct SendState {
    // Bytes the peer's TCP stack has acknowledged since the connection was made. It counts our
    // data, and also one for the connection's opening and one for our end-of-data mark, so
    // callers measure their data from a count taken before they send.
    std::uint64_t acknowledged = 0;
    // Bytes written but not yet acknowledged by the peer's TCP stack (sent or still queued),
    // counting our end-of-data mark once the sending side has been shut down.
    std::size_t unacknowledged = 0;
    // The errno value of an error the socket has recorded (a reset, a time-out), or 0. Taking
    // the state clears it, as any read of the socket's error does.
    int error = 0;
    // The connection has ended (the socket is closed at the TCP level), in order or by a reset.
    bool ended = false;
};

// The socket's send state; the errno value of a failed query.
std::expected<SendState, int> send_state(int fd);

// Asks the kernel for a notice each time the peer acknowledges the last byte of a send made
// from now on. A notice waits on the socket's error queue, which poll() reports as POLLERR, so
// a wait for the acknowledgement ends when it comes rather than at the next sample of the
// state. Notices never change the send state or the socket's error. False where the kernel does
// not offer them; waits then end only at their time limits.
bool request_acknowledgement_notices(int fd);

// Drops every notice waiting on the socket, so that a later poll() waits for new ones.
void clear_acknowledgement_notices(int fd);

}  // namespace pvo_device::tcp_socket
