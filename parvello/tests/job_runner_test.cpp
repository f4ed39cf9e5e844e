// Print jobs end to end against real devices: a loopback TCP printer and a pseudo-terminal
// serial device.
#include <gtest/gtest.h>

#include <thread>

#include "base64_encoder.hpp"
#include "job/run_job.hpp"
#include "job/open_transport.hpp"
#include "job_test_devices.hpp"

namespace parvello {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::bytes_of;
using test::LoopbackPrinter;
using test::progress;
using test::PtyDevice;
using test::RecordingSink;

JobEnvelope job(std::string handshake, Transport transport, std::vector<std::string> data) {
    JobEnvelope envelope;
    envelope.protocol = "zpl";
    envelope.handshake = std::move(handshake);
    envelope.transport = std::move(transport);
    for (auto& d : data) {
        JobLabel label;
        label.data_base64 = std::move(d);
        envelope.labels.push_back(std::move(label));
    }
    return envelope;
}

JobEvent label_done(std::uint32_t i, std::uint32_t n) { return {JobEvent::LabelDone{i, n}}; }
JobEvent done(std::uint32_t n) { return {JobEvent::Done{n, n}}; }

Bytes pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
}

TEST(RunJob, FireAndForgetOverTcpOneConnectionPerLabel) {
    LoopbackPrinter printer;
    auto connections = printer.serve(2);
    const Bytes big = pattern(300'000);  // more than one socket buffer: must still arrive whole
    RecordingSink sink;

    const auto result =
        run_job(job("fire_and_forget", printer.address(), {"QUJD", " " + test::encode_base64(big) + "\n"}), sink);

    ASSERT_TRUE(result.has_value()) << result.error().to_string();
    EXPECT_EQ(*result, (JobCounts{2, 2}));
    EXPECT_EQ(sink.events, (std::vector<JobEvent>{progress("starting_label", 0, 2), progress("sending", 0, 2),
                                                  label_done(1, 2), progress("starting_label", 1, 2),
                                                  progress("sending", 1, 2), label_done(2, 2), done(2)}));
    EXPECT_EQ(sink.json().back(), R"({"type":"done","completed":2,"total":2})");
    EXPECT_EQ(connections.get(), (std::vector<Bytes>{bytes_of("ABC"), big}));
}

TEST(RunJob, EmptyLabelIsRefusedAfterItsStartingEvent) {
    LoopbackPrinter printer;
    auto connections = printer.serve(1);
    RecordingSink sink;

    const auto result = run_job(job("fire_and_forget", printer.address(), {"QUJD", " \n"}), sink);

    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().to_string(), "delivery: empty label payload");
    EXPECT_EQ(sink.events, (std::vector<JobEvent>{progress("starting_label", 0, 2), progress("sending", 0, 2),
                                                  label_done(1, 2), progress("starting_label", 1, 2)}));
    // The first label stays delivered; the empty one never reaches the printer.
    EXPECT_EQ(connections.get(), std::vector<Bytes>{bytes_of("ABC")});
    EXPECT_FALSE(printer.has_unaccepted_connection());
}

// LetraTag: the label is written, then the device is polled until it sends ESC R and one more
// byte.
TEST(RunJob, LetratagNotifyOverSerialEndsAtTheNotification) {
    PtyDevice device;
    std::thread printer([&] {
        EXPECT_EQ(device.receive(3), bytes_of("ABC"));
        device.send(Bytes{0x1b, 0x52, 0x00});
    });
    RecordingSink sink;

    const auto result = run_job(job("letratag_notify", SerialAddress{device.path(), 9600}, {"QUJD"}), sink);
    printer.join();

    ASSERT_TRUE(result.has_value()) << result.error().to_string();
    EXPECT_EQ(*result, (JobCounts{1, 1}));
    EXPECT_EQ(sink.events, (std::vector<JobEvent>{progress("starting_label", 0, 1), progress("sending", 0, 1),
                                                  progress("done", 0, 1), label_done(1, 1), done(1)}));
}

// A device that never answers: every poll reads nothing and the delivery ends after its last
// poll without the "done" phase. The reply wait is cut short so the test does not wait 30 s.
TEST(RunJob, LetratagNotifyOverSerialWithASilentDevice) {
    PtyDevice device;
    RecordingSink sink;
    DeviceOptions options;
    options.reply_wait_limit = 1ms;

    const auto result = run_job(job("letratag_notify", SerialAddress{device.path(), 115200}, {"QUJD"}), sink, options);

    ASSERT_TRUE(result.has_value()) << result.error().to_string();
    EXPECT_EQ(sink.events, (std::vector<JobEvent>{progress("starting_label", 0, 1), progress("sending", 0, 1),
                                                  label_done(1, 1), done(1)}));
    EXPECT_EQ(device.receive(3), bytes_of("ABC"));
}

// Each check of a job comes before the next, so a request fault is reported before any device
// is opened and nothing is written before every label has decoded.
TEST(RunJob, ChecksHandshakeThenLabelsThenDevice) {
    LoopbackPrinter printer;
    const Transport ble = BleAddress{"LetraTag 200B"};
    struct Case {
        const char* name;
        JobEnvelope envelope;
        std::string_view error;
    };
    const Case cases[] = {
        {"bad handshake beats no labels", job("x", ble, {}), "unknown handshake id: x"},
        {"the name is reported as sent", job(" Dymo-LW ", ble, {"QUJD"}), "unknown handshake id:  Dymo-LW "},
        {"no labels beats the device", job("gpgl", ble, {}), "job has no labels"},
        {"bad label beats a refused device", job("fire_and_forget", ble, {"AAAA", "A"}),
         "label 1: invalid base64: Invalid input length: 1"},
        {"bad label beats an absent USB device",
         job("fire_and_forget", UsbAddress{2338, 40, std::nullopt}, {"QUJD", "QU JD"}),
         "label 1: invalid base64: Invalid symbol 32, offset 2."},
        {"a good first label is not sent when a later one is bad",
         job(" FIRE_AND_FORGET\t", printer.address(), {"QUJD", "QUI"}), "label 1: invalid base64: Invalid padding"},
        {"refused device", job("fire_and_forget", ble, {"QUJD"}),
         "transport: Bluetooth LE support not compiled in; rebuild parvello with `PVO_WITH_BLE`"},
        {"browser device", job("dymo_lw", BrowserAddress{"usb", "webusb", {}, {}, {}, {}, {}, {}, {}}, {"QUJD"}),
         "browser transport is not supported by parvello; use usb/serial/network/ble"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSink sink;
        const auto result = run_job(c.envelope, sink);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().to_string(), c.error);
        EXPECT_TRUE(sink.events.empty());
    }
    EXPECT_FALSE(printer.has_unaccepted_connection());
}

// On the printer-class road, where serial numbers match without regard to case.
TEST(RunJob, FireAndForgetOverUsb) {
    test::UsbprintTree tree;
    tree.add("lp0", "0922", "0028", "OTHER");
    PtyDevice& printer = tree.add("lp1", "0922", "0028", "SN-42");
    DeviceOptions options;
    options.usb.sys_root = tree.sys_root();
    options.usb.dev_root = tree.dev_root();
    RecordingSink sink;

    const auto result = run_job(job("fire_and_forget", UsbAddress{2338, 40, "sn-42"}, {"QUJD", "REVG"}), sink, options);

    ASSERT_TRUE(result.has_value()) << result.error().to_string();
    EXPECT_EQ(*result, (JobCounts{2, 2}));
    EXPECT_EQ(sink.events.back(), done(2));
    EXPECT_EQ(printer.receive(6), bytes_of("ABCDEF"));
}

TEST(RunJob, AbsentUsbDeviceFailsAtOpening) {
    RecordingSink sink;
    DeviceOptions options;
    options.usb.sys_root = "/nonexistent/sys";  // no printer-class interface either
    options.usb.dev_root = "/nonexistent/dev";
    const auto result = run_job(job("fire_and_forget", UsbAddress{2338, 40, "SN1"}, {"QUJD"}), sink, options);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().to_string(), "transport: device not found: usb 0922:0028");
    EXPECT_TRUE(sink.events.empty());
}

// A network or serial device is only reached at the first write, so its failure comes after
// the label's first events and ends the job there.
TEST(RunJob, DeviceThatFailsAtTheFirstWrite) {
    const test::RefusingPort refusing;
    const auto port = std::to_string(refusing.address().port);
    struct Case {
        Transport transport;
        std::string error_prefix;
    };
    const Case cases[] = {
        {refusing.address(), "transport: transport error: connect 127.0.0.1:" + port + ": "},
        {SerialAddress{"/nonexistent/ttyUSB9", 9600}, "transport: transport error: open serial /nonexistent/ttyUSB9: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error_prefix);
        RecordingSink sink;
        const auto result = run_job(job("fire_and_forget", c.transport, {"QUJD", "QUJD"}), sink);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().kind, JobError::Kind::Transport);
        EXPECT_TRUE(result.error().to_string().starts_with(c.error_prefix)) << result.error().to_string();
        EXPECT_GT(result.error().to_string().size(), c.error_prefix.size());
        EXPECT_EQ(sink.events, (std::vector<JobEvent>{progress("starting_label", 0, 2), progress("sending", 0, 2)}));
    }
}

}  // namespace
}  // namespace parvello
