// Printing through the built agent: a web page's POST /print reaches a network printer.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "agent_process.hpp"

namespace e2e {
namespace {

// A raw TCP printer on a loopback port that takes one job: everything sent until the sender
// closes its side.
class OneJobPrinter {
public:
    OneJobPrinter() : listener_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener_, 4) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ADD_FAILURE() << "printer could not listen";
        }
        port_ = ntohs(address.sin_port);
        job_ = std::async(std::launch::async, [this] {
            std::string received;
            const int peer = ::accept(listener_, nullptr, nullptr);
            if (peer < 0) return received;
            char chunk[4096];
            for (ssize_t n; (n = ::recv(peer, chunk, sizeof chunk, 0)) > 0;) {
                received.append(chunk, static_cast<std::size_t>(n));
            }
            ::close(peer);
            return received;
        });
    }

    ~OneJobPrinter() {
        ::shutdown(listener_, SHUT_RDWR);  // wakes the accept when no job came
        if (job_.valid()) job_.wait();
        ::close(listener_);
    }

    unsigned short port() const { return port_; }
    std::string job() { return job_.get(); }

private:
    int listener_;
    unsigned short port_ = 0;
    std::future<std::string> job_;
};

TEST(Print, FireAndForgetJobReachesANetworkPrinter) {
    Sandbox sandbox;
    OneJobPrinter printer;
    const unsigned short port = free_port();
    AgentProcess agent({"--no-tray", "--port", std::to_string(port)}, sandbox.environment());
    ASSERT_TRUE(wait_for_listener(port, agent)) << agent.stderr_so_far();

    const std::string job = R"({"protocol":"raw","handshake":"fire_and_forget",)"
                            R"("transport":{"type":"network","host":"127.0.0.1","port":)" +
                            std::to_string(printer.port()) + R"(},"labels":[{"index":0,"data_base64":"XlhBXlha"}]})";
    const auto answer =
        http_request(port, "POST", "/print", {"Content-Type: application/json", "Origin: http://localhost:5173"}, job);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(answer->body, R"({"completed":1,"total":1})");
    EXPECT_EQ(answer->header("access-control-allow-origin"), "http://localhost:5173");
    EXPECT_EQ(answer->header("x-parvello-version"), PARVELLO_VERSION);
    EXPECT_EQ(printer.job(), "^XA^XZ");
}

}  // namespace
}  // namespace e2e
