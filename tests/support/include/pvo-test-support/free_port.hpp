#pragma once
// A loopback port for a server that a test starts afterwards. Test processes run side by side,
// and a port the kernel hands out when asked for any port (a test printer's listener, the local
// end of a client's connection) could be taken by another test between the pick and the bind:
// the test would then reach that other test's socket and wait on it. So the port comes from
// below the kernel's range for such ports, from a band of its own for each process, and is
// checked to be free by binding it.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <fstream>
#include <stdexcept>

namespace pvo_test_support {

inline std::uint16_t free_port() {
    // The kernel's range for ports it picks itself; Linux's default when unreadable.
    unsigned kernel_low = 32768;
    std::ifstream("/proc/sys/net/ipv4/ip_local_port_range") >> kernel_low;
    constexpr unsigned kLowest = 10000;  // above the ports of common local services
    constexpr unsigned kBand = 16;
    if (kernel_low < kLowest + 64 * kBand) throw std::runtime_error("no port range left below the kernel's");
    const unsigned count = kernel_low - kLowest;

    static std::atomic<unsigned> picked{0};
    const unsigned band = static_cast<unsigned>(::getpid()) % (count / kBand) * kBand;
    for (unsigned tries = 0; tries < count; ++tries) {
        const auto port = static_cast<std::uint16_t>(kLowest + (band + picked++) % count);
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) break;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        const bool free = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (free) return port;
    }
    throw std::runtime_error("no free loopback port");
}

}  // namespace pvo_test_support
