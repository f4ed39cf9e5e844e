#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>

#include "tcp_socket.hpp"

namespace pvo_device::tcp_socket {

std::expected<SendState, int> send_state(int fd) {
    SendState state;

    // SIOCOUTQ on a TCP socket: the bytes between the last acknowledged and the last written.
    int outq = 0;
    if (::ioctl(fd, SIOCOUTQ, &outq) != 0) return std::unexpected(errno);
    state.unacknowledged = outq > 0 ? static_cast<std::size_t>(outq) : 0;

    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return std::unexpected(errno);
    state.error = error;

    // A socket whose connection has ended shows CLOSE, whether it ended in order (through
    // TIME_WAIT, which the socket leaves to the kernel) or by a reset.
    tcp_info info{};
    len = sizeof info;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &len) != 0) return std::unexpected(errno);
    state.ended = info.tcpi_state == TCP_CLOSE;
    return state;
}

}  // namespace pvo_device::tcp_socket
