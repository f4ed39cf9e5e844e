#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "pvo-log/line_writer.hpp"
#include "pvo-test-support/temp_dir.hpp"

namespace pvo_log {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using namespace std::chrono_literals;

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Clock fixed_clock() {
    return [] { return system_clock::time_point{sys_days{2026y / 1 / 5} + 9h + 30min + 123456us}; };
}

void write_event(Writer& writer, Level level, std::string message) {
    const Field fields[] = {{"message", std::move(message), false}};
    writer.write(Event{level, "parvello", fields});
}

class LogFileTest : public testing::Test {
protected:
    pvo_test_support::TempDir temp_;
    const fs::path& dir_ = temp_.path();
};

TEST_F(LogFileTest, CreatesTheFolderChainAndAppendsAcrossOpens) {
    const auto path = dir_ / "a" / "b" / "parvello.log";
    for (auto message : {"first", "second"}) {
        auto output = FdOutput::open_append(path);
        ASSERT_TRUE(output) << output.error().message();
        LineWriter writer(std::move(*output), false, fixed_clock());
        write_event(writer, Level::Info, message);
    }
    EXPECT_EQ(read_file(path),
              "2026-01-05T09:30:00.123456Z  INFO parvello: first\n"
              "2026-01-05T09:30:00.123456Z  INFO parvello: second\n");
}

TEST_F(LogFileTest, UnopenablePathsGiveAnError) {
    std::ofstream(dir_ / "plain") << "x";
    for (const auto& path : {dir_ / "plain" / "parvello.log", dir_}) {
        EXPECT_FALSE(FdOutput::open_append(path)) << path;
    }
}

TEST_F(LogFileTest, LinesOfConcurrentThreadsStayWhole) {
    const auto path = dir_ / "parvello.log";
    auto output = FdOutput::open_append(path);
    ASSERT_TRUE(output);
    LineWriter writer(std::move(*output), false, fixed_clock());
    constexpr int kThreads = 6;
    constexpr int kLines = 200;
    const std::string long_tail(300, 'x');
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < kLines; ++i) write_event(writer, Level::Warn, fmt::format("t{} {}", t, long_tail));
            });
        }
    }
    std::istringstream lines(read_file(path));
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        ASSERT_TRUE(line.starts_with("2026-01-05T09:30:00.123456Z  WARN parvello: t")) << line;
        ASSERT_TRUE(line.ends_with(" " + long_tail)) << line;
    }
    EXPECT_EQ(count, kThreads * kLines);
}

TEST_F(LogFileTest, FailedWriteIsReportedAndLoggingGoesOn) {
    auto full = FdOutput::open_append("/dev/full");
    ASSERT_TRUE(full);
    const auto report_path = dir_ / "stderr";
    auto report = FdOutput::open_append(report_path);
    ASSERT_TRUE(report);
    LineWriter writer(std::move(*full), false, fixed_clock(), std::move(*report));
    write_event(writer, Level::Info, "one");
    write_event(writer, Level::Info, "two");
    const std::string notice = "log writer: could not write a line: No space left on device\n";
    EXPECT_EQ(read_file(report_path), notice + notice);
}

TEST(FdOutput, PipeWithoutReaderIsAnErrorNotASignal) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    auto output = FdOutput::borrow(ends[1]);
    const auto written = output.write("line\n");
    ::close(ends[1]);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error(), std::errc::broken_pipe);
    sigset_t pending;
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
}

}  // namespace
}  // namespace pvo_log
