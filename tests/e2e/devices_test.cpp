// GET /devices through the built agent, which sees USB devices and serial ports that umockdev
// presents to it: the exact list, and an answer while a print job holds the device slot.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "agent_process.hpp"
#include "emulated_hardware.hpp"
#include "pvo-test-support/slow_intake.hpp"

namespace e2e {
namespace {

using pvo_device::test::EmulatedHardware;

// The agent, started on the emulated hardware.
class DevicesAgent {
public:
    explicit DevicesAgent(const EmulatedHardware& hardware) : port_(free_port()) {
        auto extra = hardware.preload_environment();
        // The preload library is loaded ahead of the sanitizer runtime.
        const char* asan = std::getenv("ASAN_OPTIONS");
        extra["ASAN_OPTIONS"] = std::string(asan ? asan : "") + ":verify_asan_link_order=0";
        agent_.emplace(std::vector<std::string>{"--no-tray", "--port", std::to_string(port_)},
                       sandbox_.environment(extra));
        EXPECT_TRUE(wait_for_listener(port_, *agent_)) << agent_->stderr_so_far();
    }

    unsigned short port() const { return port_; }

    std::optional<HttpResponse> get_devices() const {
        return http_request(port_, "GET", "/devices", {"Origin: http://localhost:5173"});
    }

private:
    Sandbox sandbox_;
    unsigned short port_;
    std::optional<AgentProcess> agent_;
};

TEST(GetDevices, ListsTheEmulatedPrintersAndPortsExactly) {
    EmulatedHardware hardware;
    hardware.add_usb_device({0x0922, 0x0028, "LW550-0001"});
    hardware.add_usb_device({0x0922, 0x9999});
    hardware.add_usb_device({0x1234, 0x5678, "UNKNOWN"});
    hardware.add_usb_device({0x1203, 0x0160});
    hardware.add_usb_device({0x04F9, 0x2064, "P700-3"});
    hardware.add_usb_serial_port({0x1111, 0x2222, "NB-0001", "NIIMBOT", "Niimbot Label Printer"}, "ttyACM0");
    hardware.add_native_serial_port("ttyS0");
    DevicesAgent agent(hardware);

    const auto answer = agent.get_devices();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(answer->header("content-type"), "application/json");
    EXPECT_EQ(answer->header("access-control-allow-origin"), "http://localhost:5173");
    EXPECT_EQ(
        answer->body,
        R"([{"vendor_id":2338,"product_id":40,"serial":"LW550-0001","brand":"DYMO","model":"LabelWriter 550","protocol":"dymolw","connection":"usb"},)"
        R"({"vendor_id":2338,"product_id":39321,"serial":null,"brand":"DYMO","model":"LabelWriter","protocol":"dymo","connection":"usb"},)"
        R"({"vendor_id":4611,"product_id":352,"serial":null,"brand":"TSC","model":"TE200","protocol":"tspl","connection":"usb"},)"
        R"({"vendor_id":1273,"product_id":8292,"serial":"P700-3","brand":"Brother","model":"PT-P700","protocol":"brotherpt","connection":"usb"},)"
        R"({"vendor_id":4369,"product_id":8738,"serial":"NB-0001","brand":"NIIMBOT","model":"Niimbot Label Printer","protocol":"niimbot","connection":"serial","path":"/dev/ttyACM0"}])");
}

TEST(GetDevices, NothingAttachedIsAnEmptyArray) {
    EmulatedHardware hardware;
    DevicesAgent agent(hardware);
    const auto answer = agent.get_devices();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(answer->body, "[]");
}

// A network printer that takes one job and reads nothing of it until released, so a job of a
// held-size label keeps running meanwhile.
class HeldPrinter {
public:
    HeldPrinter() : listener_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (!pvo_test_support::take_data_slowly(listener_) ||
            ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ADD_FAILURE() << "printer could not listen";
        }
        port_ = ntohs(address.sin_port);
        serving_ = std::thread([this] { serve(); });
    }

    ~HeldPrinter() {
        release();
        ::shutdown(listener_, SHUT_RDWR);  // wakes the accept when no job came
        serving_.join();
        ::close(listener_);
    }

    unsigned short port() const { return port_; }

    // Waits until the job's connection has arrived.
    bool wait_for_job() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return connected_; });
    }

    // Lets the printer read the job to its end.
    void release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    void serve() {
        const int peer = ::accept(listener_, nullptr, nullptr);
        if (peer < 0) return;
        {
            std::unique_lock lock(mutex_);
            connected_ = true;
            changed_.notify_all();
            changed_.wait(lock, [&] { return released_; });
        }
        char chunk[65536];
        while (::recv(peer, chunk, sizeof chunk, 0) > 0) {}
        ::close(peer);
    }

    int listener_;
    unsigned short port_ = 0;
    std::thread serving_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool connected_ = false;
    bool released_ = false;
};

TEST(GetDevices, AnswersWhileAPrintJobHoldsTheDevice) {
    EmulatedHardware hardware;
    hardware.add_usb_device({0x0922, 0x0028});
    DevicesAgent agent(hardware);
    HeldPrinter printer;

    const std::string job = R"({"protocol":"raw","handshake":"fire_and_forget",)"
                            R"("transport":{"type":"network","host":"127.0.0.1","port":)" +
                            std::to_string(printer.port()) + R"(},"labels":[{"index":0,"data_base64":")" +
                            pvo_test_support::held_label_base64() + R"("}]})";
    auto printing = std::async(std::launch::async, [&] {
        return http_request(agent.port(), "POST", "/print", {"Content-Type: application/json"}, job);
    });
    ASSERT_TRUE(printer.wait_for_job());  // the job now waits for the printer to read

    const auto answer = agent.get_devices();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(
        answer->body,
        R"([{"vendor_id":2338,"product_id":40,"serial":null,"brand":"DYMO","model":"LabelWriter 550","protocol":"dymolw","connection":"usb"}])");

    printer.release();
    const auto printed = printing.get();
    ASSERT_TRUE(printed.has_value());
    EXPECT_EQ(printed->body, R"({"completed":1,"total":1})");
}

}  // namespace
}  // namespace e2e
