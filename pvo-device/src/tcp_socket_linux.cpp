// linux/tcp.h rather than netinet/tcp.h: only the kernel's own header has the acknowledged-byte
// count of TCP_INFO.
#include <linux/sockios.h>
#include <linux/net_tstamp.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <cstddef>

#include "tcp_socket.hpp"

namespace pvo_device::tcp_socket {
namespace {

// TCP_CLOSE in the kernel's numbering of connection states (the first field of TCP_INFO).
constexpr std::uint8_t kStateClose = 7;

}  // namespace

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

    // The count of acknowledged bytes stays readable after a reset: the kernel keeps it until
    // the socket is closed. A kernel too old to report it (before Linux 4.1) cannot say whether
    // a label was delivered.
    tcp_info info{};
    len = sizeof info;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &len) != 0) return std::unexpected(errno);
    if (len < offsetof(tcp_info, tcpi_bytes_acked) + sizeof info.tcpi_bytes_acked) return std::unexpected(EOPNOTSUPP);
    state.acknowledged = info.tcpi_bytes_acked;
    // A socket whose connection has ended shows CLOSE, whether it ended in order (through
    // TIME_WAIT, which the socket leaves to the kernel) or by a reset.
    state.ended = info.tcpi_state == kStateClose;
    return state;
}

bool request_acknowledgement_notices(int fd) {
    // Acknowledgement records only (no time stamps in them): the notice is all that is used.
    const int flags = SOF_TIMESTAMPING_TX_ACK | SOF_TIMESTAMPING_OPT_TSONLY;
    return ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPING, &flags, sizeof flags) == 0;
}

void clear_acknowledgement_notices(int fd) {
    // Each notice carries a small control record; truncating it is harmless, as it is dropped.
    std::array<char, 256> control;
    for (;;) {
        msghdr message{};
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        if (::recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0 && errno != EINTR) return;
    }
}

}  // namespace pvo_device::tcp_socket
