// GPGL cut jobs end to end: the job runner over a serial line to a cutter played by the test on
// a pseudo-terminal. The cutter answers each status request (1B 05) with its state digit and
// ETX, and takes everything else silently.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "base64_encoder.hpp"
#include "job_test_devices.hpp"
#include "job/run_job.hpp"
#include "job/open_transport.hpp"

namespace parvello {
namespace {

using namespace std::chrono_literals;
using pvo_status::GpglState;
using test::Bytes;
using test::bytes_of;
using test::progress;
using test::PtyDevice;
using test::RecordingSink;

// The cutter's side of the line: it answers the n-th status request with the n-th state of its
// script and serves until the script has run out (or the line stays quiet for a while, in a
// failing test). Returns every byte it received, in order.
std::future<Bytes> serve_cutter(PtyDevice& line, std::string script) {
    return std::async(std::launch::async, [&line, script] {
        Bytes received;
        std::size_t answered = 0;
        while (answered < script.size()) {
            const Bytes chunk = line.receive(1, 5000);
            if (chunk.empty()) break;
            for (std::uint8_t byte : chunk) {
                const bool status_request = !received.empty() && received.back() == 0x1B && byte == 0x05;
                received.push_back(byte);
                if (status_request && answered < script.size()) {
                    line.send(std::string{script[answered++], '\x03'});
                }
            }
        }
        return received;
    });
}

const std::string cut_job =
    "cut job, line 1\x03"
    "cut job, line 2\x03";

JobEnvelope gpgl_job(const std::string& path) {
    JobEnvelope envelope;
    envelope.protocol = "gpgl";
    envelope.handshake = "gpgl";
    envelope.transport = SerialAddress{path, 9600};
    envelope.labels.push_back(JobLabel{0, std::nullopt, std::nullopt, test::encode_base64(bytes_of(cut_job))});
    return envelope;
}

JobEvent status(GpglState state) {
    const bool ready = state == GpglState::Ready || state == GpglState::Moving;
    return {JobEvent::Status{
        pvo_status::Gpgl{state, ready ? pvo_status::Readiness::ready()
                                      : pvo_status::Readiness::not_ready(std::string(pvo_status::word(state)))}}};
}

// A status reply is a couple of bytes, so each read waits out its time: cut it short, but
// leave the cutter ample time to answer.
DeviceOptions short_reply_waits() {
    DeviceOptions options;
    options.reply_wait_limit = 300ms;
    options.serial.read_gap = 5ms;
    return options;
}

// What the cutter receives before the cut job: initialise, a status request, the identity
// request, a status request.
const std::string handshake_bytes =
    "\x1B\x04"
    "\x1B\x05"
    "FG\x03"
    "\x1B\x05";

TEST(RunJobGpgl, CutsWhenReadyAndEndsWhenBackToReady) {
    PtyDevice line;
    auto received = serve_cutter(line, "00110");
    RecordingSink sink;

    const auto result = run_job(gpgl_job(line.path()), sink, short_reply_waits());

    ASSERT_TRUE(result.has_value()) << result.error().to_string();
    EXPECT_EQ(received.get(), bytes_of(handshake_bytes + cut_job + "\x1B\x05\x1B\x05\x1B\x05"));
    EXPECT_EQ(sink.events, (std::vector<JobEvent>{progress("starting_label"),
                                                  progress("init"),
                                                  progress("handshake"),
                                                  status(GpglState::Ready),
                                                  progress("handshake"),
                                                  status(GpglState::Ready),
                                                  progress("cutting"),
                                                  status(GpglState::Moving),
                                                  status(GpglState::Moving),
                                                  status(GpglState::Ready),
                                                  {JobEvent::LabelDone{1, 1}},
                                                  {JobEvent::Done{1, 1}}}));
}

TEST(RunJobGpgl, CutterThatNeverMovesFailsTheJob) {
    PtyDevice line;
    auto received = serve_cutter(line, "000");
    RecordingSink sink;

    const auto result = run_job(gpgl_job(line.path()), sink, short_reply_waits());

    const std::string idle = "cutter stayed idle after cut payload (never reported moving)";
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().to_string(), "delivery: " + idle);
    EXPECT_EQ(received.get(), bytes_of(handshake_bytes + cut_job + "\x1B\x05"));
    EXPECT_EQ(sink.events, (std::vector<JobEvent>{progress("starting_label"),
                                                  progress("init"),
                                                  progress("handshake"),
                                                  status(GpglState::Ready),
                                                  progress("handshake"),
                                                  status(GpglState::Ready),
                                                  progress("cutting"),
                                                  status(GpglState::Ready),
                                                  {JobEvent::Error{idle}}}));
}

TEST(RunJobGpgl, UnloadedMediaEndsTheJobBeforeTheCut) {
    PtyDevice line;
    auto received = serve_cutter(line, "2");
    RecordingSink sink;

    const auto result = run_job(gpgl_job(line.path()), sink, short_reply_waits());

    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().to_string(), "delivery: cutter reports media unloaded (status 2)");
    EXPECT_EQ(received.get(), bytes_of("\x1B\x04\x1B\x05"));
    EXPECT_EQ(sink.json().back(), R"json({"type":"error","message":"cutter reports media unloaded (status 2)"})json");
    EXPECT_EQ(sink.events.at(sink.events.size() - 2), status(GpglState::Unloaded));
}

}  // namespace
}  // namespace parvello
