#include "job/job_channel.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "job/job_sink.hpp"

namespace parvello {
namespace {

JobEvent label_done(std::uint32_t i) { return {JobEvent::LabelDone{i, 1000}}; }

TEST(JobEventChannel, QueuesInOrderAndDrainsAfterClose) {
    int woken = 0;
    JobEventChannel channel([&] { ++woken; });
    EXPECT_FALSE(channel.try_receive());
    EXPECT_TRUE(channel.send(label_done(1)));
    EXPECT_TRUE(channel.send(label_done(2)));
    EXPECT_EQ(woken, 2);

    channel.close();
    EXPECT_TRUE(channel.is_closed());
    EXPECT_EQ(woken, 3);
    // A closed channel takes nothing more and does not wake its consumer for it.
    EXPECT_FALSE(channel.send(label_done(3)));
    channel.close();
    EXPECT_EQ(woken, 3);

    // What was queued before the close is still delivered, then the end.
    EXPECT_EQ(channel.receive(), label_done(1));
    EXPECT_EQ(channel.try_receive(), label_done(2));
    EXPECT_FALSE(channel.try_receive());
    EXPECT_FALSE(channel.receive());
}

TEST(JobEventChannel, WorkerThreadToBlockingConsumer) {
    constexpr std::uint32_t kEvents = 2000;
    std::atomic<int> woken{0};
    JobEventChannel channel([&] { woken.fetch_add(1, std::memory_order_relaxed); });
    std::thread worker([&] {
        for (std::uint32_t i = 0; i < kEvents; ++i) channel.send(label_done(i));
        channel.close();
    });
    std::uint32_t next = 0;
    while (auto event = channel.receive()) {
        ASSERT_EQ(*event, label_done(next));
        ++next;
    }
    worker.join();
    EXPECT_EQ(next, kEvents);
    EXPECT_EQ(woken.load(), static_cast<int>(kEvents) + 1);
}

TEST(JobEventChannel, ConsumerClosingMidJobDropsTheRest) {
    auto channel = std::make_shared<JobEventChannel>();
    ChannelSink sink(channel);
    std::atomic<bool> first_sent{false};
    std::thread worker([&] {
        sink.emit(label_done(0));
        first_sent = true;
        // The client goes away while the job still reports: nothing fails, nothing waits.
        while (!channel->is_closed()) std::this_thread::yield();
        for (std::uint32_t i = 1; i < 100; ++i) sink.emit(label_done(i));
    });
    EXPECT_EQ(channel->receive(), label_done(0));
    channel->close();
    worker.join();
    EXPECT_FALSE(channel->try_receive());
}

}  // namespace
}  // namespace parvello
