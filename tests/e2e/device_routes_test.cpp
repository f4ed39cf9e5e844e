// The device routes of the built agent against USB printers emulated by umockdev: the agent
// runs with the emulation preloaded, so its libusb and printer-class code meet the emulated
// sysfs and device nodes, whose requests this test process answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent_process.hpp"
#include "usb_emulation.hpp"

namespace e2e {
namespace {

using Bytes = std::vector<std::uint8_t>;
using pvo_device::test::EmulatedPrinter;
using pvo_device::test::PrinterSetup;

std::string usb_request(std::string_view protocol, std::uint16_t vendor_id, std::uint16_t product_id) {
    return R"({"protocol":")" + std::string(protocol) + R"(","transport":{"type":"usb","vendor_id":)" +
           std::to_string(vendor_id) + R"(,"product_id":)" + std::to_string(product_id) + "}}";
}

class EmulatedDevices : public pvo_device::test::EmulatedUsbTest {
protected:
    // Starts the agent (inside the emulation) and posts one request to it.
    HttpResponse post(const std::string& route, const std::string& body) {
        if (!agent_) {
            port_ = free_port();
            agent_.emplace(std::vector<std::string>{"--no-tray", "--port", std::to_string(port_)},
                           sandbox_.environment());
            EXPECT_TRUE(wait_for_listener(port_, *agent_)) << agent_->stderr_so_far();
        }
        auto answer = http_request(port_, "POST", route, {"Content-Type: application/json"}, body);
        EXPECT_TRUE(answer.has_value());
        return answer.value_or(HttpResponse{});
    }

    Sandbox sandbox_;
    unsigned short port_ = 0;
    std::optional<AgentProcess> agent_;
};

TEST_F(EmulatedDevices, LabelWriterStatusAndSoftReboot) {
    if (delegated_) return;
    EmulatedPrinter& printer = bus_->add({});  // 0922:0028
    Bytes idle(32, 0);
    idle[10] = 8;  // media bay: no unknown bay
    printer.queue_reply(idle);

    const auto status = post("/status/query", usb_request("dymolw", 0x0922, 0x0028));
    EXPECT_EQ(status.status, 200) << status.body;
    EXPECT_EQ(status.header("content-type"), "application/json");
    EXPECT_EQ(status.body,
              R"({"eps_present":false,"error_id":0,"label_count":0,"label_index":0,"main_bay_status":"media_ok",)"
              R"("print_density":0,"print_head_status":"ok","print_head_voltage":"unknown","print_job_id":0,)"
              R"("print_status":"idle","protocol":"dymo-lw","readiness":{"ready_to_print":true},"sku":null})");

    const auto rebooted = post("/soft-reboot", usb_request("dymolw", 0x0922, 0x0028));
    EXPECT_EQ(rebooted.status, 200) << rebooted.body;
    EXPECT_EQ(rebooted.body, R"({"ok":true})");

    EXPECT_EQ(printer.writes(), (std::vector<Bytes>{{0x1B, 0x41, 0x00}, {0x1B, 0x40}}));
    // Each operation claimed the printer from the kernel driver and handed it back.
    const std::vector<std::string> once{"claim, kernel driver detached", "release", "kernel driver attached"};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(printer.events(), twice);
}

TEST_F(EmulatedDevices, TsplIdentityFromGetDeviceId) {
    if (delegated_) return;
    PrinterSetup setup;
    setup.product_id = 0x0101;
    setup.product = "LP 200";
    setup.device_id = Bytes{0x00, 0x14};
    const std::string_view body = "MFG:ACME;CMD:TSPL;";
    setup.device_id->insert(setup.device_id->end(), body.begin(), body.end());
    bus_->add(setup);

    const auto identity = post("/status/query", usb_request("TSPL", 0x0922, 0x0101));
    EXPECT_EQ(identity.status, 200) << identity.body;
    EXPECT_EQ(identity.body, R"({"command_set":"TSPL","manufacturer":"ACME","product":"LP 200","product_id":257,)"
                             R"("protocol":"usb-printer-id","raw_device_id":"MFG:ACME;CMD:TSPL;","vendor_id":2338})");

    const auto missing = post("/status/query", usb_request("tspl", 0x0922, 0x0028));
    EXPECT_EQ(missing.status, 400);
    EXPECT_EQ(missing.body, "device not found: usb 0922:0028");
}

}  // namespace
}  // namespace e2e
