// The fair mutex: strict arrival order across async tasks and blocking threads, async waits
// that never block a thread, and waits abandoned with their io_context.
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <gtest/gtest.h>

#include "lock/fair_mutex.hpp"
#include "lock/async_lock.hpp"

namespace parvello {
namespace {

// The order in which holders got the lock, shared by all threads of a test.
class Record {
public:
    void add(std::string name) {
        std::lock_guard lock(mutex_);
        names_.push_back(std::move(name));
    }
    std::vector<std::string> names() const {
        std::lock_guard lock(mutex_);
        return names_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> names_;
};

void wait_until_queued(const FairMutex& mutex, std::size_t count) {
    while (mutex.waiting() < count) std::this_thread::yield();
}

asio::awaitable<void> take_async(FairMutex& mutex, Record& record, std::string name) {
    auto guard = co_await async_lock(mutex);
    record.add(std::move(name));
}

// An io_context served by one thread of its own.
class IoThread {
public:
    IoThread() : work_(asio::make_work_guard(io_)), thread_([this] { io_.run(); }) {}
    ~IoThread() {
        work_.reset();
        thread_.join();
    }
    asio::io_context& io() { return io_; }

private:
    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::thread thread_;
};

TEST(FairMutex, WaitersAreServedInArrivalOrderWhetherTheyBlockOrAwait) {
    FairMutex mutex;
    Record record;
    std::vector<std::thread> blocking;
    {
        IoThread first, second;  // async waiters on two runtimes
        auto held = mutex.lock();
        const auto queue_async = [&](IoThread& io, const char* name) {
            asio::co_spawn(io.io(), take_async(mutex, record, name), asio::detached);
        };
        const auto queue_blocking = [&](const char* name) {
            blocking.emplace_back([&mutex, &record, name] {
                auto guard = mutex.lock();
                record.add(name);
            });
        };
        queue_async(first, "async 1");
        wait_until_queued(mutex, 1);
        queue_blocking("thread 1");
        wait_until_queued(mutex, 2);
        queue_async(second, "async 2");
        wait_until_queued(mutex, 3);
        queue_blocking("thread 2");
        wait_until_queued(mutex, 4);
        queue_async(first, "async 3");
        wait_until_queued(mutex, 5);
        { [[maybe_unused]] auto released = std::move(held); }
        for (auto& thread : blocking) thread.join();
    }  // the io threads finish their coroutines before they end
    EXPECT_EQ(record.names(), (std::vector<std::string>{"async 1", "thread 1", "async 2", "thread 2", "async 3"}));
    // Every holder let go: the lock is free again.
    auto again = mutex.lock();
    EXPECT_EQ(mutex.waiting(), 0u);
}

TEST(FairMutex, AnAwaitingTaskLeavesItsThreadFreeForOtherWork) {
    FairMutex mutex;
    Record record;
    IoThread io;
    auto held = mutex.lock();
    asio::co_spawn(io.io(), take_async(mutex, record, "waiter"), asio::detached);
    wait_until_queued(mutex, 1);
    // The io thread's only thread still runs other handlers while the task waits.
    std::promise<void> ran;
    asio::post(io.io(), [&ran] { ran.set_value(); });
    ran.get_future().get();
    EXPECT_TRUE(record.names().empty());
    { [[maybe_unused]] auto released = std::move(held); }
    auto after = mutex.lock();  // granted only once the waiter has had and released it
    EXPECT_EQ(record.names(), std::vector<std::string>{"waiter"});
}

// A free lock is taken on the awaiting thread before anything else queued there runs, and
// never by-passes a waiter: a released lock belongs to the next in line, not to try_lock.
TEST(FairMutex, AFreeLockIsTakenAtOnceAndABusyOneIsNotTakenOutOfTurn) {
    FairMutex mutex;
    Record record;
    asio::io_context io;
    asio::co_spawn(
        io,
        [&]() -> asio::awaitable<void> {
            asio::post(io, [&] { record.add("posted"); });
            auto guard = co_await async_lock(mutex);
            record.add("locked");
        },
        asio::detached);
    io.run();
    EXPECT_EQ(record.names(), (std::vector<std::string>{"locked", "posted"}));

    auto held = mutex.try_lock();
    ASSERT_TRUE(held.has_value());
    EXPECT_FALSE(mutex.try_lock().has_value());
    std::promise<FairMutex::Guard> handed;
    mutex.lock_async([&handed](FairMutex::Guard guard) { handed.set_value(std::move(guard)); });
    held.reset();
    EXPECT_FALSE(mutex.try_lock().has_value());  // the waiter holds it now
    { [[maybe_unused]] auto released = handed.get_future().get(); }
    EXPECT_TRUE(mutex.try_lock().has_value());
}

TEST(FairMutex, AWaitAbandonedWithItsIoContextIsPassedOver) {
    FairMutex mutex;
    Record record;
    auto held = mutex.lock();
    auto alive = std::make_shared<int>(0);
    {
        asio::io_context io;
        asio::co_spawn(
            io,
            [&, alive]() -> asio::awaitable<void> {
                auto guard = co_await async_lock(mutex);
                record.add("abandoned");
            },
            asio::detached);
        io.run_one();  // the task starts and queues its wait
        ASSERT_EQ(mutex.waiting(), 1u);
    }  // the io_context goes, and with it the waiting task
    EXPECT_EQ(alive.use_count(), 1);

    std::thread next([&] {
        auto guard = mutex.lock();
        record.add("next");
    });
    wait_until_queued(mutex, 2);
    { [[maybe_unused]] auto released = std::move(held); }
    next.join();
    EXPECT_EQ(record.names(), std::vector<std::string>{"next"});
}

TEST(FairMutex, AGuardedValueIsReachedOnlyThroughItsGuard) {
    Guarded<std::string> text("before");
    IoThread io;
    std::promise<std::string> seen;
    {
        auto guard = text.lock();
        *guard = "changed";
        asio::co_spawn(
            io.io(),
            [&]() -> asio::awaitable<void> {
                auto value = co_await async_lock(text);
                seen.set_value(*value);
            },
            asio::detached);
        while (text.waiting() == 0) std::this_thread::yield();
    }
    EXPECT_EQ(seen.get_future().get(), "changed");
}

TEST(FairMutex, AFreeValueIsCopiedWithoutQueuingAndAHeldOneNotAtAll) {
    Guarded<std::string> text("before");
    const auto size_of = [](const std::string& value) { return value.size(); };
    EXPECT_EQ(text.copy_if_free(size_of), std::optional<std::size_t>(6));
    {
        auto guard = text.lock();
        *guard = "half-written";
        EXPECT_EQ(text.copy_if_free(size_of), std::nullopt);  // the holder may still change it
    }
    EXPECT_EQ(text.copy_if_free([](const std::string& value) { return value; }), "half-written");
    EXPECT_EQ(text.waiting(), 0u);
    EXPECT_TRUE(text.try_lock().has_value());  // reading took nothing
}

TEST(FairMutex, MovingAGuardKeepsOneHolder) {
    FairMutex first, second;
    auto a = first.lock();
    auto b = second.lock();
    a = std::move(b);  // releases `first`, now holds `second`
    std::thread taker([&] { auto again = first.lock(); });
    taker.join();
    EXPECT_EQ(second.waiting(), 0u);
    std::thread waiter([&] { auto later = second.lock(); });
    wait_until_queued(second, 1);
    { [[maybe_unused]] auto released = std::move(a); }
    waiter.join();
}

}  // namespace
}  // namespace parvello
