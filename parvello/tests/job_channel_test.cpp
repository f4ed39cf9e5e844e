// The job's event channel: events in order from a worker thread to a waiting task, the end
// told once the worker's sink is gone, and a consumer that leaves early.
#include "job/job_channel.hpp"

#include <gtest/gtest.h>

#include <future>
#include <optional>
#include <thread>
#include <vector>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>

#include "job/job_channel_await.hpp"
#include "job/job_sink.hpp"

namespace parvello {
namespace {

namespace asio = boost::asio;

JobEvent label_done(std::uint32_t i) { return {JobEvent::LabelDone{i, 1000}}; }

using Received = std::optional<std::optional<JobEvent>>;  // none: nothing handed over yet
const Received kEnd{std::in_place, std::nullopt};

// What one receive hands over, taken on this thread.
Received receive_now(JobEventChannel& channel) {
    Received got;
    channel.receive_async([&got](std::optional<JobEvent> event) { got.emplace(std::move(event)); });
    return got;
}

TEST(JobEventChannel, QueuesInOrderAndDrainsAfterClose) {
    JobEventChannel channel;
    EXPECT_TRUE(channel.send(label_done(1)));
    EXPECT_TRUE(channel.send(label_done(2)));
    channel.close();
    EXPECT_TRUE(channel.is_closed());
    // A closed channel takes nothing more.
    EXPECT_FALSE(channel.send(label_done(3)));

    // What was queued before the close is still delivered, then the end, at once each time.
    EXPECT_EQ(receive_now(channel), Received(label_done(1)));
    EXPECT_EQ(receive_now(channel), Received(label_done(2)));
    EXPECT_EQ(receive_now(channel), kEnd);
}

TEST(JobEventChannel, AWaitingReceiverIsHandedTheNextEventOrTheEnd) {
    JobEventChannel channel;
    std::vector<std::optional<JobEvent>> got;
    auto record = [&got](std::optional<JobEvent> event) { got.push_back(std::move(event)); };
    channel.receive_async(record);
    EXPECT_TRUE(got.empty());
    channel.send(label_done(1));
    channel.receive_async(record);
    channel.close();
    EXPECT_EQ(got, (std::vector<std::optional<JobEvent>>{label_done(1), std::nullopt}));
}

// The worker's thread sends while the task awaits on its own thread; every event arrives, in
// order and on the task's thread, and the end comes once the sink is dropped.
TEST(JobEventChannel, WorkerThreadToAwaitingTask) {
    constexpr std::uint32_t kEvents = 2000;
    auto channel = std::make_shared<JobEventChannel>();
    asio::io_context io;
    auto received = asio::co_spawn(
        io,
        [&]() -> asio::awaitable<std::pair<std::uint32_t, bool>> {
            const auto task_thread = std::this_thread::get_id();
            std::uint32_t next = 0;
            bool on_task_thread = true;
            while (auto event = co_await async_receive(*channel)) {
                on_task_thread = on_task_thread && std::this_thread::get_id() == task_thread;
                if (*event != label_done(next)) break;
                ++next;
            }
            co_return std::pair{next, on_task_thread};
        },
        asio::use_future);
    std::thread worker([sink = ChannelSink(channel)]() mutable {
        for (std::uint32_t i = 0; i < kEvents; ++i) sink.emit(label_done(i));
    });
    io.run();
    worker.join();
    const auto [count, on_task_thread] = received.get();
    EXPECT_EQ(count, kEvents);
    EXPECT_TRUE(on_task_thread);
}

TEST(JobEventChannel, ASinkDroppedUnusedEndsTheChannel) {
    auto channel = std::make_shared<JobEventChannel>();
    std::optional<ChannelSink> sink(std::in_place, channel);
    ChannelSink moved = std::move(*sink);
    sink.reset();  // a moved-from sink closes nothing
    EXPECT_FALSE(channel->is_closed());
    { ChannelSink gone = std::move(moved); }
    EXPECT_TRUE(channel->is_closed());
}

TEST(JobEventChannel, ConsumerClosingMidJobDropsTheRest) {
    auto channel = std::make_shared<JobEventChannel>();
    ChannelSink sink(channel);
    std::thread worker([&] {
        sink.emit(label_done(0));
        // The client goes away while the job still reports: nothing fails, nothing waits.
        while (!channel->is_closed()) std::this_thread::yield();
        for (std::uint32_t i = 1; i < 100; ++i) sink.emit(label_done(i));
    });
    std::promise<std::optional<JobEvent>> first;
    channel->receive_async([&first](std::optional<JobEvent> event) { first.set_value(std::move(event)); });
    EXPECT_EQ(first.get_future().get(), label_done(0));
    channel->close();
    worker.join();
    EXPECT_EQ(receive_now(*channel), kEnd);
}

}  // namespace
}  // namespace parvello
