// The label loop driven by a scripted handshake, so every kind of action and every failure
// path of a session is reached.
#include <gtest/gtest.h>

#include <deque>

#include "job/transport_io.hpp"
#include "job/deliver_labels.hpp"
#include "job_test_devices.hpp"
#include "pvo-client-delivery/handshake.hpp"

namespace parvello {
namespace {

namespace pd = pvo_client_delivery;
using test::Bytes;
using test::progress;
using test::RecordingSink;

// Hands out `batches` in turn: the first from `start`, one more per event. Records the events.
class ScriptedHandshake final : public pd::Handshake {
public:
    ScriptedHandshake(std::vector<pd::Batch> batches, std::vector<pd::TransportEvent>& seen)
        : batches_(batches.begin(), batches.end()), seen_(seen) {}
    pd::Batch start() override { return next(); }
    pd::Batch on_event(pd::TransportEvent event) override {
        seen_.push_back(std::move(event));
        return next();
    }

private:
    pd::Batch next() {
        if (batches_.empty()) return {};
        pd::Batch batch = std::move(batches_.front());
        batches_.pop_front();
        return batch;
    }
    std::deque<pd::Batch> batches_;
    std::vector<pd::TransportEvent>& seen_;
};

// Records writes and reads, and answers reads from a queue (an empty reply when it runs out).
class ScriptedIo final : public TransportIo {
public:
    std::expected<void, std::string> write(std::span<const std::uint8_t> bytes) override {
        writes.emplace_back(bytes.begin(), bytes.end());
        if (write_error) return std::unexpected(*write_error);
        return {};
    }
    std::expected<Bytes, std::string> read(std::size_t max_len, std::uint32_t timeout_ms) override {
        reads.emplace_back(max_len, timeout_ms);
        if (replies.empty()) return Bytes{};
        auto reply = std::move(replies.front());
        replies.pop_front();
        return reply;
    }

    std::optional<std::string> write_error;
    std::deque<std::expected<Bytes, std::string>> replies;
    std::vector<Bytes> writes;
    std::vector<std::pair<std::size_t, std::uint32_t>> reads;
};

struct Script {
    explicit Script(std::vector<pd::Batch> batches) : batches(std::move(batches)) {}

    std::vector<pd::Batch> batches;   // the same for every label
    std::vector<Bytes> labels_given;  // what each session was made from
    std::vector<pd::TransportEvent> events_seen;

    SessionFactory factory() {
        return [this](LabelPayload&& label) {
            labels_given.push_back(std::move(label));
            return pd::DeliverySession::run(std::make_unique<ScriptedHandshake>(batches, events_seen));
        };
    }
};

TEST(DeliverLabels, PerformsEveryActionInOrderForEachLabel) {
    const pvo_status::Dymo status{0x48, true, false, false};
    Script script({
        {pd::Progress{"init"}, pd::Status{status}, pd::Send{{1, 2, 3}}},
        {pd::Recv{3, 500}},
        {pd::Progress{"finalizing"}, pd::Done{}},
    });
    ScriptedIo io;
    io.replies = {Bytes{9, 9}};  // the second label's read finds nothing
    RecordingSink sink;

    const auto result = deliver_each_label(script.factory(), {{7}, {8, 8}}, io, sink);

    ASSERT_TRUE(result.has_value()) << result.error().to_string();
    EXPECT_EQ(*result, (JobCounts{2, 2}));
    EXPECT_EQ(script.labels_given, (std::vector<Bytes>{{7}, {8, 8}}));
    EXPECT_EQ(io.writes, (std::vector<Bytes>{{1, 2, 3}, {1, 2, 3}}));
    EXPECT_EQ(io.reads, (std::vector<std::pair<std::size_t, std::uint32_t>>{{3, 500}, {3, 500}}));
    // An empty reply is still handed to the session.
    ASSERT_EQ(script.events_seen.size(), 4u);
    EXPECT_EQ(std::get<pd::Received>(script.events_seen[1]).bytes, (Bytes{9, 9}));
    EXPECT_EQ(std::get<pd::Received>(script.events_seen[3]).bytes, Bytes{});
    const JobEvent status_event{JobEvent::Status{status}};
    EXPECT_EQ(sink.events, (std::vector<JobEvent>{progress("starting_label", 0, 2),
                                                  progress("init", 0, 2),
                                                  status_event,
                                                  progress("finalizing", 0, 2),
                                                  {JobEvent::LabelDone{1, 2}},
                                                  progress("starting_label", 1, 2),
                                                  progress("init", 1, 2),
                                                  status_event,
                                                  progress("finalizing", 1, 2),
                                                  {JobEvent::LabelDone{2, 2}},
                                                  {JobEvent::Done{2, 2}}}));
}

// A failed procedure over a real printer: its message is the last event and the job's error.
TEST(DeliverLabels, FailedProcedureEndsWithAnErrorEvent) {
    test::LoopbackPrinter printer;
    auto connections = printer.serve(1);
    Script script({{pd::Progress{"sending"}, pd::Send{{'A', 'B', 'C'}}}, {pd::Fail{"cutter \"jammed\""}}});
    auto device = open_transport(printer.address());
    ASSERT_TRUE(device.has_value());
    OpenTransportIo io(*device);
    RecordingSink sink;

    const auto result = deliver_each_label(script.factory(), {{1}, {2}}, io, sink);

    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().to_string(), R"(delivery: cutter "jammed")");
    EXPECT_EQ(
        sink.json(),
        (std::vector<std::string>{
            R"({"type":"progress","phase":"starting_label","batch_index":0,"batch_total":2,"label_index":0,"label_total":2})",
            R"({"type":"progress","phase":"sending","batch_index":0,"batch_total":2,"label_index":0,"label_total":2})",
            R"({"type":"error","message":"cutter \"jammed\""})"}));
    EXPECT_EQ(connections.get(), std::vector<Bytes>{test::bytes_of("ABC")});
    EXPECT_EQ(script.labels_given.size(), 1u);  // the second label is never started
}

// The failures of a label end the job at once: later actions and labels are not performed.
TEST(DeliverLabels, FailuresEndTheJob) {
    struct Case {
        const char* name;
        std::vector<pd::Batch> batches;
        std::optional<std::string> write_error;
        std::optional<std::string> read_error;
        std::string_view error;
        std::vector<std::string> events;  // JSON
        std::size_t writes;
    };
    const std::string starting =
        R"({"type":"progress","phase":"starting_label","batch_index":0,"batch_total":2,"label_index":0,"label_total":2})";
    const std::string sending =
        R"({"type":"progress","phase":"sending","batch_index":0,"batch_total":2,"label_index":0,"label_total":2})";
    const Case cases[] = {
        {"a write fails",
         {{pd::Progress{"sending"}, pd::Send{{1}}}, {pd::Send{{2}}}, {pd::Done{}}},
         "transport error: serial write: Input/output error",
         {},
         "transport: transport error: serial write: Input/output error",
         {starting, sending},
         1},
        {"a read fails",
         {{pd::Send{{1}}}, {pd::Recv{8, 100}}, {pd::Send{{2}}}, {pd::Done{}}},
         {},
         "transport error: serial read: Input/output error",
         "transport: transport error: serial read: Input/output error",
         {starting},
         1},
        {"the session refuses a call",
         {{pd::Send{{1}}}, {}},
         {},
         {},
         "delivery: invalid session call: handshake produced no action (internal state machine bug)",
         {starting},
         1},
        {"the session refuses the label",
         {{}},
         {},
         {},
         "delivery: invalid session call: handshake produced no action (internal state machine bug)",
         {starting},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Script script(c.batches);
        ScriptedIo io;
        io.write_error = c.write_error;
        if (c.read_error) io.replies.push_back(std::unexpected(*c.read_error));
        RecordingSink sink;

        const auto result = deliver_each_label(script.factory(), {{1}, {2}}, io, sink);

        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().to_string(), c.error);
        EXPECT_EQ(sink.json(), c.events);
        EXPECT_EQ(io.writes.size(), c.writes);
        EXPECT_EQ(script.labels_given.size(), 1u);
    }
}

}  // namespace
}  // namespace parvello
