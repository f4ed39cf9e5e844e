#pragma once
// Loopback printers that hold a print job mid-way. A TCP label counts as delivered once the
// printer's TCP stack has acknowledged every byte, so a printer that merely keeps its side of
// the connection open holds nothing: the bytes are acknowledged as soon as they arrive. A
// listening socket prepared here takes data slowly (a small receive buffer and small segments,
// which also keep the sender's buffer small), so a label of `kHeldLabelSize` bytes cannot be
// taken whole while the printer reads nothing, and its job waits until the printer reads.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstddef>
#include <string>

namespace pvo_test_support {

// Many times what the slow socket and the sender's buffer take together (under 100 KB here),
// and a multiple of 3, so that its base64 text is exact: the label of zero bytes is all "A".
inline constexpr std::size_t kHeldLabelSize = 3 * 256 * 1024;

// The base64 text of `kHeldLabelSize` zero bytes.
inline std::string held_label_base64() { return std::string(kHeldLabelSize / 3 * 4, 'A'); }

// Call on a TCP socket before listen(); the accepted connections inherit the settings.
// False when the socket refused one of them.
inline bool take_data_slowly(int listener) {
    const int receive_buffer = 4096;
    const int segment_size = 536;
    return ::setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer) == 0 &&
           ::setsockopt(listener, IPPROTO_TCP, TCP_MAXSEG, &segment_size, sizeof segment_size) == 0;
}

}  // namespace pvo_test_support
