#pragma once
// An agent server on a free loopback port for the tests of the routes, and requests with
// headers of the test's own choosing.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "lock/fair_mutex.hpp"
#include "parvello/request.hpp"
#include "parvello/server.hpp"
#include "server_test_client.hpp"

namespace parvello::test {

class AgentServer : public ::testing::Test {
protected:
    void SetUp() override {
        auto started = RunningServer::start(state_, {.io_threads = 2, .blocking_threads = 2});
        ASSERT_TRUE(started) << started.error().message;
        server_.emplace(std::move(*started));
    }

    std::uint16_t port() const { return server_->port(); }

    AppState state_{free_port(), false};
    std::optional<RunningServer> server_;
};

inline const Headers kJsonHeaders = {{"Host", "127.0.0.1"}, {"Content-Type", "application/json"}};

// One request on a fresh connection, and its answer.
inline HttpResponse exchange_request(std::uint16_t port, http::verb method, std::string_view target,
                                     const Headers& headers, std::string body = {}) {
    Client client(port);
    send_request(client, method, target, headers, std::move(body));
    return client.read_response(method == http::verb::head);
}

inline HttpResponse post_json(std::uint16_t port, std::string_view target, std::string body,
                              const Headers& headers = kJsonHeaders) {
    return exchange_request(port, http::verb::post, target, headers, std::move(body));
}

// A print job of `labels` (base64 texts) for a network printer.
inline std::string print_job(const NetworkAddress& printer, const std::vector<std::string>& labels,
                             std::string_view handshake = "fire_and_forget") {
    std::string json = R"({"protocol":"raw","handshake":")" + std::string(handshake) +
                       R"(","transport":{"type":"network","host":")" + printer.host + R"(","port":)" +
                       std::to_string(printer.port) + R"(},"labels":[)";
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (i) json += ',';
        json += R"({"index":)" + std::to_string(i) + R"(,"data_base64":")" + labels[i] + R"("})";
    }
    return json + "]}";
}

// Polls `condition` until it holds or a generous limit passes; for states that another thread
// brings about, never for time-outs.
inline bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace parvello::test
