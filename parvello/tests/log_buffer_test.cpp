#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "log_buffer.hpp"

namespace parvello {
namespace {

TEST(LogBuffer, KeepsTheLast500LinesAndCountsEveryPush) {
    LogBuffer buffer;
    EXPECT_EQ(buffer.snapshot().generation, 0u);
    for (int i = 1; i <= 501; ++i) buffer.push("line " + std::to_string(i));
    const auto snapshot = buffer.snapshot();
    EXPECT_EQ(snapshot.generation, 501u);
    ASSERT_EQ(snapshot.lines.size(), 500u);
    EXPECT_EQ(snapshot.lines.front(), "line 2");
    EXPECT_EQ(snapshot.lines.back(), "line 501");
}

TEST(LogBuffer, ClearEmptiesAndStillBumpsTheGeneration) {
    LogBuffer buffer;
    buffer.clear();
    EXPECT_EQ(buffer.generation(), 1u);
    buffer.push("a");
    buffer.push("b");
    buffer.clear();
    const auto snapshot = buffer.snapshot();
    EXPECT_EQ(snapshot.generation, 4u);
    EXPECT_TRUE(snapshot.lines.empty());
    buffer.push("c");
    EXPECT_EQ(buffer.snapshot().lines, std::vector<std::string>{"c"});
}

TEST(LogBuffer, ConcurrentPushesAndReadsLoseNothing) {
    LogBuffer buffer;
    constexpr int kThreads = 4;
    constexpr int kLines = 300;
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&buffer, t] {
                for (int i = 0; i < kLines; ++i) buffer.push(std::to_string(t) + ":" + std::to_string(i));
            });
        }
        threads.emplace_back([&buffer] {
            for (int i = 0; i < 50; ++i) {
                const auto snapshot = buffer.snapshot();
                ASSERT_LE(snapshot.lines.size(), LogBuffer::kMaxLines);
            }
        });
    }
    const auto snapshot = buffer.snapshot();
    EXPECT_EQ(snapshot.generation, std::uint64_t{kThreads * kLines});
    EXPECT_EQ(snapshot.lines.size(), LogBuffer::kMaxLines);
    // Each thread's surviving lines keep their order.
    std::vector<int> last(kThreads, -1);
    for (const auto& line : snapshot.lines) {
        const auto colon = line.find(':');
        const int t = std::stoi(line.substr(0, colon));
        const int i = std::stoi(line.substr(colon + 1));
        EXPECT_GT(i, last[t]) << line;
        last[t] = i;
    }
}

TEST(LogBufferSink, PushesTheBufferLineOfEachEvent) {
    auto buffer = std::make_shared<LogBuffer>();
    LogBufferSink sink(buffer);
    const pvo_log::Field with_fields[] = {{"message", "\"quoted\" host \"x\"", false}, {"port", "1", false}};
    const pvo_log::Field empty[] = {{"message", "", false}};
    sink.write({pvo_log::Level::Error, "parvello", with_fields});
    sink.write({pvo_log::Level::Info, "parvello::desktop", empty});
    EXPECT_EQ(buffer->snapshot().lines,
              (std::vector<std::string>{"[ERROR] parvello: quoted\" host \"x", "[INFO] parvello::desktop"}));
}

}  // namespace
}  // namespace parvello
