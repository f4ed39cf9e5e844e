// Blocking work on the pool: its result comes back to the awaiting task, a throwing worker
// becomes a value, and the connection threads stay free meanwhile.
#include <future>
#include <stdexcept>
#include <string>
#include <thread>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/use_future.hpp>
#include <gtest/gtest.h>

#include "server/blocking.hpp"

namespace parvello {
namespace {

// One io thread and a pool of one.
class BlockingPool : public ::testing::Test {
protected:
    ~BlockingPool() override {
        work_.reset();
        thread_.join();
        pool_.join();
    }

    template <typename T>
    T run(asio::awaitable<T> task) {
        return asio::co_spawn(io_, std::move(task), asio::use_future).get();
    }

    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_ = asio::make_work_guard(io_);
    std::thread thread_{[this] { io_.run(); }};
    asio::thread_pool pool_{1};
};

TEST_F(BlockingPool, TheResultComesBackToTheTaskOnItsOwnThread) {
    const auto outcome = run([this]() -> asio::awaitable<std::pair<std::string, bool>> {
        const auto io_thread = std::this_thread::get_id();
        auto where = [io_thread] {
            return std::string(std::this_thread::get_id() == io_thread ? "on the io thread" : "on the pool");
        };
        auto result = co_await run_blocking(pool_.get_executor(), std::move(where));
        co_return std::pair{result.value(), std::this_thread::get_id() == io_thread};
    }());
    EXPECT_EQ(outcome.first, "on the pool");
    EXPECT_TRUE(outcome.second);
}

TEST_F(BlockingPool, AThrowingWorkerBecomesAWorkerFailure) {
    const auto failed = run([this]() -> asio::awaitable<std::expected<int, WorkerFailure>> {
        co_return co_await run_blocking(pool_.get_executor(), []() -> int { throw std::runtime_error("boom"); });
    }());
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().message, "blocking worker failed: boom");

    const auto done = run([this]() -> asio::awaitable<std::expected<void, WorkerFailure>> {
        co_return co_await run_blocking(pool_.get_executor(), [] {});
    }());
    EXPECT_TRUE(done);
}

TEST_F(BlockingPool, TheIoThreadServesOthersWhileTheWorkBlocks) {
    std::promise<void> release;
    auto released = release.get_future().share();
    auto job = asio::co_spawn(
        io_,
        [this, released]() -> asio::awaitable<int> {
            auto work = [released] {
                released.wait();  // blocks the pool thread until another task on the io thread runs
                return 7;
            };
            auto result = co_await run_blocking(pool_.get_executor(), std::move(work));
            co_return result.value();
        },
        asio::use_future);
    asio::post(io_, [&release] { release.set_value(); });
    EXPECT_EQ(job.get(), 7);
}

}  // namespace
}  // namespace parvello
