// POST /print of one large label through the agent's HTTP server to a loopback TCP printer
// that swallows whatever it gets. Reports the label bytes delivered per second. The label is
// the large one of large_label.hpp.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include "large_label.hpp"
#include "parvello/server.hpp"

namespace {

using bench::base64_label;
using bench::kLabelBytes;

int loopback_socket(std::uint16_t port, bool listen) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    const bool ok = listen ? ::bind(fd, raw, sizeof address) == 0 && ::listen(fd, 16) == 0
                           : ::connect(fd, raw, sizeof address) == 0;
    if (!ok) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::uint16_t local_port(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

std::uint16_t free_port() {
    const int fd = loopback_socket(0, true);
    const std::uint16_t port = local_port(fd);
    ::close(fd);
    return port;
}

// Reads every connection to its end and closes it.
class SinkPrinter {
public:
    SinkPrinter() : listener_(loopback_socket(0, true)), thread_([this] { run(); }) {}
    ~SinkPrinter() {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    std::uint16_t port() const { return local_port(listener_); }

private:
    void run() {
        static char chunk[1 << 16];
        for (int peer; (peer = ::accept(listener_, nullptr, nullptr)) >= 0;) {
            while (::recv(peer, chunk, sizeof chunk, 0) > 0) {}
            ::close(peer);
        }
    }

    int listener_;
    std::thread thread_;
};

std::string print_request(std::uint16_t printer_port) {
    const std::string body = R"({"protocol":"raw","handshake":"fire_and_forget","transport":{"type":"network",)"
                             R"("host":"127.0.0.1","port":)" +
                             std::to_string(printer_port) + R"(},"labels":[{"index":0,"data_base64":")" +
                             base64_label(kLabelBytes) + R"("}]})";
    return "POST /print HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nConnection: close\r\n"
           "Content-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Sends the request on a new connection and reads the answer to the end.
std::string exchange(std::uint16_t port, const std::string& request) {
    const int fd = loopback_socket(port, false);
    if (fd < 0) return {};
    for (std::size_t sent = 0; sent < request.size();) {
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    std::string answer;
    char chunk[4096];
    for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;) answer.append(chunk, static_cast<std::size_t>(n));
    ::close(fd);
    return answer;
}

void post_print_large_label(benchmark::State& state) {
    SinkPrinter printer;
    auto server = parvello::RunningServer::start(parvello::AppState(free_port(), false));
    if (!server) {
        state.SkipWithError(server.error().message.c_str());
        return;
    }
    const std::string request = print_request(printer.port());
    for (auto _ : state) {
        const std::string answer = exchange(server->port(), request);
        if (!answer.starts_with("HTTP/1.1 200")) {
            state.SkipWithError(("print failed: " + answer.substr(0, 200)).c_str());
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kLabelBytes));
}

BENCHMARK(post_print_large_label)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
