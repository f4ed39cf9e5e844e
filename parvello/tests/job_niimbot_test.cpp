// NIIMBOT print jobs end to end: the job runner over a serial line to a printer played by the
// test on a pseudo-terminal. The printer takes the packets it receives one by one and answers
// each status request with a print-status packet.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>

#include "base64_encoder.hpp"
#include "job_test_devices.hpp"
#include "job/run_job.hpp"
#include "job/open_transport.hpp"

namespace parvello {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::progress;
using test::PtyDevice;
using test::RecordingSink;

// 55 55 | command | n | payload | xor checksum | AA AA, written out here rather than taken from
// the agent, so the printer does not share the agent's mistakes.
Bytes frame(std::uint8_t command, const Bytes& payload) {
    Bytes packet{0x55, 0x55, command, static_cast<std::uint8_t>(payload.size())};
    std::uint8_t checksum = command ^ static_cast<std::uint8_t>(payload.size());
    for (std::uint8_t b : payload) checksum ^= b;
    packet.insert(packet.end(), payload.begin(), payload.end());
    packet.insert(packet.end(), {checksum, 0xAA, 0xAA});
    return packet;
}

constexpr std::uint8_t status_request_command = 0xA3;
constexpr std::uint8_t print_end_command = 0xF3;
const Bytes status_request = frame(status_request_command, {0x01});

struct PrintProgress {
    std::uint8_t progress1;
    std::uint8_t progress2;
};

// The printer's side of the line. It answers the n-th status request with the n-th entry of
// its script, and stays silent once the script has run out. It serves until `finished` says
// so about the packets received, or the line stays quiet for a while (a failing test).
class NiimbotPrinter {
public:
    using Until = std::function<bool(const std::vector<Bytes>& packets)>;

    NiimbotPrinter(PtyDevice& line, std::vector<PrintProgress> script) : line_(line), script_(std::move(script)) {}

    std::future<std::vector<Bytes>> serve(Until finished) {
        return std::async(std::launch::async, [this, finished] {
            std::vector<Bytes> packets;
            Bytes pending;
            std::size_t answered = 0;
            while (!finished(packets)) {
                const Bytes chunk = line_.receive(1, 5000);
                if (chunk.empty()) break;
                pending.insert(pending.end(), chunk.begin(), chunk.end());
                while (auto packet = take_packet(pending)) {
                    if ((*packet)[2] == status_request_command && answered < script_.size()) {
                        const auto [p1, p2] = script_[answered++];
                        line_.send(frame(0xB3, {0x00, 0x01, p1, p2}));
                    }
                    packets.push_back(std::move(*packet));
                }
            }
            return packets;
        });
    }

private:
    // The whole packet at the front of `pending`, once it has arrived; bytes before a packet
    // head are dropped.
    static std::optional<Bytes> take_packet(Bytes& pending) {
        while (pending.size() >= 2 && !(pending[0] == 0x55 && pending[1] == 0x55)) pending.erase(pending.begin());
        if (pending.size() < 4 || pending.size() < pending[3] + 7u) return std::nullopt;
        Bytes packet(pending.begin(), pending.begin() + pending[3] + 7);
        pending.erase(pending.begin(), pending.begin() + pending[3] + 7);
        return packet;
    }

    PtyDevice& line_;
    std::vector<PrintProgress> script_;
};

NiimbotPrinter::Until received_print_end = [](const std::vector<Bytes>& packets) {
    return !packets.empty() && packets.back()[2] == print_end_command;
};

NiimbotPrinter::Until received_status_requests(std::size_t count) {
    return [count](const std::vector<Bytes>& packets) {
        return static_cast<std::size_t>(std::count(packets.begin(), packets.end(), status_request)) == count;
    };
}

// A one-label job: an 8-byte packet, three packets of 100 bytes, and the print-end packet.
const std::vector<Bytes> job_packets{
    frame(0x01, {0x01}),          frame(0x85, Bytes(93, 0x3C)),     frame(0x85, Bytes(93, 0x42)),
    frame(0x85, Bytes(93, 0x7E)), frame(print_end_command, {0x01}),
};

JobEnvelope niimbot_job(const std::string& path, std::optional<std::string> variant) {
    Bytes label;
    for (const auto& p : job_packets) label.insert(label.end(), p.begin(), p.end());
    JobEnvelope envelope;
    envelope.protocol = "niimbot";
    envelope.handshake = "niimbot_poll";
    envelope.driver_variant = std::move(variant);
    envelope.transport = SerialAddress{path, 115200};
    envelope.labels.push_back(JobLabel{0, std::nullopt, std::nullopt, test::encode_base64(label)});
    return envelope;
}

JobEvent status(std::uint8_t progress1, std::uint8_t progress2) {
    std::optional<pvo_status::Readiness> readiness;
    if (progress1 >= 1 && progress1 <= 99) readiness = pvo_status::Readiness::ready();
    return {JobEvent::Status{pvo_status::Niimbot{{1, progress1, progress2}, readiness}}};
}

// The events of a delivered one-label job with a status event per answered poll.
std::vector<JobEvent> delivered_events(const std::vector<PrintProgress>& answered) {
    std::vector<JobEvent> events{progress("starting_label"), progress("sending")};
    for (const auto& [p1, p2] : answered) events.push_back(status(p1, p2));
    events.push_back({JobEvent::LabelDone{1, 1}});
    events.push_back({JobEvent::Done{1, 1}});
    return events;
}

// What the printer receives: the job, `polls` status requests, and with b1 the print-end packet
// only after them.
std::vector<Bytes> received_packets(bool b1, std::size_t polls) {
    std::vector<Bytes> packets(job_packets.begin(), job_packets.end() - (b1 ? 1 : 0));
    packets.insert(packets.end(), polls, status_request);
    if (b1) packets.push_back(job_packets.back());
    return packets;
}

// Replies are a few bytes in one piece, so the line's reply gap can be short.
DeviceOptions quick_serial_replies() {
    DeviceOptions options;
    options.serial.read_gap = 5ms;
    return options;
}

TEST(RunJobNiimbot, PrintsAndPollsUntilThePageIsFinished) {
    const std::vector<PrintProgress> script{{40, 40}, {100, 100}};
    const std::optional<std::string> variants[] = {std::nullopt, "standard", "V4", "b1"};
    for (const auto& variant : variants) {
        SCOPED_TRACE(variant.value_or("(none)"));
        const bool b1 = variant == "b1";
        PtyDevice line;
        NiimbotPrinter printer(line, script);
        auto received = printer.serve(b1 ? received_print_end : received_status_requests(2));
        RecordingSink sink;

        const auto result = run_job(niimbot_job(line.path(), variant), sink, quick_serial_replies());

        ASSERT_TRUE(result.has_value()) << result.error().to_string();
        EXPECT_EQ(received.get(), received_packets(b1, 2));
        EXPECT_EQ(sink.events, delivered_events(script));
    }
}

// A printer already at 100/100 on its first reply never shows the page unfinished, so polling
// runs to its end; the print-end packet a b1 job holds back still reaches the printer then.
TEST(RunJobNiimbot, PrintEndStillGoesOutWhenPollingGivesUp) {
    const std::vector<PrintProgress> script(60, {100, 100});
    PtyDevice line;
    NiimbotPrinter printer(line, script);
    auto received = printer.serve(received_print_end);
    RecordingSink sink;

    const auto result = run_job(niimbot_job(line.path(), "b1"), sink, quick_serial_replies());

    ASSERT_TRUE(result.has_value()) << result.error().to_string();
    EXPECT_EQ(received.get(), received_packets(true, 60));
    EXPECT_EQ(sink.events, delivered_events(script));
}

// A printer that never answers: every poll reads nothing, and the job ends after the 60th.
// The reply wait is cut short so the test does not wait 60 times 500 ms.
TEST(RunJobNiimbot, SilentPrinter) {
    for (const bool b1 : {false, true}) {
        SCOPED_TRACE(b1 ? "b1" : "standard");
        PtyDevice line;
        NiimbotPrinter printer(line, {});
        auto received = printer.serve(b1 ? received_print_end : received_status_requests(60));
        RecordingSink sink;
        DeviceOptions options = quick_serial_replies();
        options.reply_wait_limit = 1ms;

        const auto result =
            run_job(niimbot_job(line.path(), b1 ? std::optional<std::string>("b1") : std::nullopt), sink, options);

        ASSERT_TRUE(result.has_value()) << result.error().to_string();
        EXPECT_EQ(received.get(), received_packets(b1, 60));
        EXPECT_EQ(sink.events, delivered_events({}));
    }
}

TEST(RunJobNiimbot, UnknownDriverVariantSendsNothing) {
    PtyDevice line;
    RecordingSink sink;

    const auto result = run_job(niimbot_job(line.path(), "b2"), sink);

    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().to_string(), "delivery: unsupported driver variant \"b2\" for niimbot_poll");
    EXPECT_EQ(sink.events, std::vector<JobEvent>{progress("starting_label")});
    EXPECT_TRUE(line.receive(1, 0).empty());
}

}  // namespace
}  // namespace parvello
