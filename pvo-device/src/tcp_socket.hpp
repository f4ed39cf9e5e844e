#pragma once
// What the kernel knows about a connected TCP socket's outgoing data: how many bytes the peer
// has not acknowledged yet, and whether the connection has ended. The one
// seam between the TCP transport and the Linux socket calls it needs beyond Asio.
#include <cstddef>
#include <expected>

namespace pvo_device::tcp_socket {

struct SendState {
    // Bytes written but not yet acknowledged by the peer's TCP stack (sent or still queued),
    // counting our end-of-data mark once the sending side has been shut down.
    std::size_t unacknowledged = 0;
    // The errno value of an error the socket has recorded (a reset, a time-out), or 0.
    int error = 0;
    // The connection has ended (the socket is closed at the TCP level). After an orderly ending
    // the count above may still hold our end-of-data mark.
    bool ended = false;
};

// The socket's send state; the errno value of a failed query.
std::expected<SendState, int> send_state(int fd);

}  // namespace pvo_device::tcp_socket
