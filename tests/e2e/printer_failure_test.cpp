// Printing through the built agent to a network printer that fails part-way: the page is told
// the label failed, never that it printed.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <string>

#include <gtest/gtest.h>

#include "agent_process.hpp"

namespace e2e {
namespace {

// A raw TCP printer that takes `take` bytes of one job and then resets the connection. Its
// small receive buffer keeps it from acknowledging the whole label before the reset.
class ResettingPrinter {
public:
    explicit ResettingPrinter(std::size_t take) : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        const int receive_buffer = 4096;
        if (::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer) != 0 ||
            ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener_, 4) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ADD_FAILURE() << "printer could not listen";
        }
        port_ = ntohs(address.sin_port);
        job_ = std::async(std::launch::async, [this, take] {
            const int peer = ::accept(listener_, nullptr, nullptr);
            if (peer < 0) return;
            std::string chunk(4096, '\0');
            for (std::size_t taken = 0; taken < take;) {
                const ssize_t n = ::recv(peer, chunk.data(), std::min(chunk.size(), take - taken), 0);
                if (n <= 0) break;
                taken += static_cast<std::size_t>(n);
            }
            const linger reset{1, 0};
            ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            ::close(peer);
        });
    }

    ~ResettingPrinter() {
        ::shutdown(listener_, SHUT_RDWR);  // wakes the accept when no job came
        if (job_.valid()) job_.wait();
        ::close(listener_);
    }

    unsigned short port() const { return port_; }

private:
    int listener_;
    unsigned short port_ = 0;
    std::future<void> job_;
};

// The label fits the kernel's buffers, so every send succeeds; only the printer's missing
// acknowledgement tells that it never got the rest.
TEST(PrinterFailure, PrinterThatResetsMidLabelFailsTheJobWith502) {
    Sandbox sandbox;
    ResettingPrinter printer(128 * 1024);
    const unsigned short port = free_port();
    AgentProcess agent({"--no-tray", "--port", std::to_string(port)}, sandbox.environment());
    ASSERT_TRUE(wait_for_listener(port, agent)) << agent.stderr_so_far();

    // 1.1 MB of label: 366,667 base64 groups "QUFB", each "AAA".
    std::string label;
    for (int i = 0; i < 366'667; ++i) label += "QUFB";
    const std::string job = R"({"protocol":"raw","handshake":"fire_and_forget",)"
                            R"("transport":{"type":"network","host":"127.0.0.1","port":)" +
                            std::to_string(printer.port()) + R"(},"labels":[{"index":0,"data_base64":")" + label +
                            R"("}]})";
    const auto answer = http_request(port, "POST", "/print", {"Content-Type: application/json"}, job);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->status, 502);
    EXPECT_TRUE(answer->body.starts_with("transport: transport error: write: ")) << answer->body;
}

}  // namespace
}  // namespace e2e
