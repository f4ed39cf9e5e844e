// DYMO print jobs end to end: run_job against a printer played on the printer-class USB road
// (a pseudo-terminal behind /dev/usb/lpN), which checks each request it is sent and answers
// with the status bytes a LabelWriter 550 or a D1 printer would.
#include <gtest/gtest.h>

#include <thread>

#include "base64_encoder.hpp"
#include "job_test_devices.hpp"
#include "job/run_job.hpp"
#include "job/open_transport.hpp"
#include "pvo-status/dymo_status.hpp"

namespace parvello {
namespace {

using test::Bytes;
using test::progress;
using test::PtyDevice;
using test::RecordingSink;

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// One exchange with the agent: the bytes it must write, then the printer's answer (if any).
struct Exchange {
    Bytes request;
    Bytes answer;
};

// Plays the printer: receives each exchange's request, answers it, and returns what it
// received, one entry per exchange. A request that is not the expected one is not answered.
std::vector<Bytes> play(PtyDevice& printer, const std::vector<Exchange>& script) {
    std::vector<Bytes> received;
    for (const auto& step : script) {
        received.push_back(printer.receive(step.request.size()));
        if (received.back() != step.request) break;
        if (!step.answer.empty()) printer.send(step.answer);
    }
    return received;
}

std::vector<Bytes> requests_of(const std::vector<Exchange>& script) {
    std::vector<Bytes> out;
    for (const auto& step : script) out.push_back(step.request);
    return out;
}

// A USB printer on the printer-class road, and the options that make the job find it.
struct UsbPrinter {
    test::UsbprintTree tree;
    PtyDevice& device = tree.add("lp0", "0922", "0028");
    DeviceOptions options() const {
        DeviceOptions o;
        o.usb.sys_root = tree.sys_root();
        o.usb.dev_root = tree.dev_root();
        return o;
    }
};

JobEnvelope usb_job(std::string handshake, const Bytes& label) {
    JobEnvelope envelope;
    envelope.protocol = "dymo";
    envelope.handshake = std::move(handshake);
    envelope.transport = UsbAddress{0x0922, 0x0028, std::nullopt};
    JobLabel job_label;
    job_label.data_base64 = test::encode_base64(label);
    envelope.labels.push_back(std::move(job_label));
    return envelope;
}

JobEvent status(pvo_status::PrintStatus report) { return {JobEvent::Status{std::move(report)}}; }

// LabelWriter 550 print-engine status: print state, media bay; head and voltage good.
Bytes lw_status(std::uint8_t print_state, std::uint8_t bay) {
    Bytes out(32, 0);
    out[0] = print_state;
    out[10] = bay;
    out[30] = 1;
    return out;
}

pvo_status::DymoLw lw_report(const Bytes& reply) {
    return pvo_status::build_lw550_report(*pvo_status::parse_print_engine_status(reply));
}

// ESC n, ESC D, the raster's dimensions (A = 2, B = 16) and its four bytes, ESC G.
Bytes lw_label(std::uint8_t fill) {
    return {0x1B, 'n', 0x00, 0x00, 0x1B, 'D', 0x00, 0x00, 2, 0, 0, 0, 16, 0, 0, 0, fill, fill, fill, fill, 0x1B, 'G'};
}

const Bytes lw_preamble{0x1B, 's', 0x01, 0x00, 0x00, 0x00, 0x1B, 'C', 0x64};
const Bytes lw_trailer{0x1B, 'E', 0x1B, 'Q'};

TEST(DymoJob, LabelWriter550TakesTheLockAndChecksEveryLabel) {
    UsbPrinter printer;
    const Bytes l0 = lw_label(0xF0), l1 = lw_label(0x0F);
    const Bytes locked = lw_status(0, 8);    // idle, media ok
    const Bytes printing = lw_status(1, 1);  // printing with the bay open still goes on
    const Bytes after_last = lw_status(0, 8);
    const std::vector<Exchange> script{
        {{0x1B, 'A', 0x01}, locked},
        {cat({lw_preamble, l0, {0x1B, 'A', 0x02}}), printing},
        {cat({l1, {0x1B, 'A', 0x00}}), after_last},
        {lw_trailer, {}},
    };
    std::vector<Bytes> received;
    std::thread device([&] { received = play(printer.device, script); });
    RecordingSink sink;

    const auto result = run_job(usb_job("dymo_lw", cat({lw_preamble, l0, l1, lw_trailer})), sink, printer.options());
    device.join();

    ASSERT_TRUE(result.has_value()) << result.error().to_string();
    EXPECT_EQ(*result, (JobCounts{1, 1}));
    EXPECT_EQ(received, requests_of(script));
    EXPECT_TRUE(printer.device.receive(1, 0).empty());
    EXPECT_EQ(sink.events, (std::vector<JobEvent>{progress("starting_label"),
                                                  progress("acquiring_lock"),
                                                  status(lw_report(locked)),
                                                  progress("sending_preamble"),
                                                  progress("sending_label"),
                                                  progress("handshake"),
                                                  status(lw_report(printing)),
                                                  progress("sending_label"),
                                                  progress("handshake"),
                                                  status(lw_report(after_last)),
                                                  progress("finalizing"),
                                                  {JobEvent::LabelDone{1, 1}},
                                                  {JobEvent::Done{1, 1}}}));
    EXPECT_EQ(sink.json()[2], R"({"type":"status","status":{"eps_present":false,"error_id":0,"label_count":0,)"
                              R"("label_index":0,"main_bay_status":"media_ok","print_density":0,)"
                              R"("print_head_status":"ok","print_head_voltage":"ok","print_job_id":0,)"
                              R"("print_status":"idle","protocol":"dymo-lw","readiness":{"ready_to_print":true},)"
                              R"("sku":null}})");
}

// A printer without media at the lock step: the job fails there and no label byte is sent.
TEST(DymoJob, LabelWriter550WithoutMediaGetsNoLabelBytes) {
    UsbPrinter printer;
    const std::vector<Exchange> script{{{0x1B, 'A', 0x01}, lw_status(0, 2)}};
    std::vector<Bytes> received;
    std::thread device([&] { received = play(printer.device, script); });
    RecordingSink sink;

    const auto result =
        run_job(usb_job("dymo_lw", cat({lw_preamble, lw_label(0xAA), lw_trailer})), sink, printer.options());
    device.join();

    const std::string message = "acquiring print lock: no media loaded in the printer";
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().to_string(), "delivery: " + message);
    EXPECT_EQ(received, requests_of(script));
    EXPECT_TRUE(printer.device.receive(1, 0).empty());
    EXPECT_EQ(sink.events, (std::vector<JobEvent>{
                               progress("starting_label"), progress("acquiring_lock"), {JobEvent::Error{message}}}));
}

// A D1 job of 70 raster lines goes out as two chunks, each after a status request whose answer
// is not looked at, and each followed by one status read per ESC A it holds. The raster data
// holds 16 hex, which must not move the cut off a line start.
TEST(DymoJob, D1JobOfTwoChunks) {
    UsbPrinter printer;
    const Bytes line{0x16, 0x16, 0x00};
    Bytes lines;
    for (int i = 0; i < 70; ++i) lines.insert(lines.end(), line.begin(), line.end());
    const Bytes job = cat({{0x1B, 'D', 0x02, 0x1B, 'A'}, lines, {0x1B, 'A', 0x1B, 'E'}});
    const Bytes chunk1(job.begin(), job.begin() + 5 + 63 * 3);
    // The second chunk: the last seven lines, with ESC A moved behind ESC E.
    const Bytes chunk2 = cat({Bytes(job.begin() + 5 + 63 * 3, job.end() - 4), {0x1B, 'E', 0x1B, 'A'}});
    const std::vector<Exchange> script{
        {{0x1B, 'A'}, {0x00}},
        {chunk1, {0x40}},
        {{0x1B, 'A'}, {0x00}},
        {chunk2, {0x54}},
    };
    std::vector<Bytes> received;
    std::thread device([&] { received = play(printer.device, script); });
    RecordingSink sink;

    const auto result = run_job(usb_job("dymo_d1", job), sink, printer.options());
    device.join();

    ASSERT_TRUE(result.has_value()) << result.error().to_string();
    EXPECT_EQ(received, requests_of(script));
    EXPECT_TRUE(printer.device.receive(1, 0).empty());
    EXPECT_EQ(sink.events, (std::vector<JobEvent>{progress("starting_label"),
                                                  progress("sending"),
                                                  status(pvo_status::decode_d1_status(0x40)),
                                                  status(pvo_status::decode_d1_status(0x54)),
                                                  {JobEvent::LabelDone{1, 1}},
                                                  {JobEvent::Done{1, 1}}}));
    EXPECT_EQ(sink.json()[3], R"({"type":"status","status":{"cassette_inserted":true,"cutter_jammed":true,)"
                              R"("general_error":true,"protocol":"dymo","raw":84}})");
}

}  // namespace
}  // namespace parvello
