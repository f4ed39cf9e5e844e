#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <unistd.h>

#include "logging.hpp"
#include "pvo-test-support/temp_dir.hpp"

namespace parvello {

using pvo_test_support::ScopedEnv;
using pvo_test_support::TempDir;
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using namespace std::chrono_literals;
using pvo_log::Level;

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A stack built with every output in a temporary folder: the console goes to a file there.
class LoggingStackTest : public testing::Test {
protected:
    std::unique_ptr<pvo_log::Stack> build(std::string filter, bool ansi = false,
                                          std::optional<fs::path> log_file = std::nullopt) {
        console_fd_ = ::open(console_path().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        return build_logging_stack({.ansi = ansi,
                                    .buffer = buffer_,
                                    .log_file = log_file.value_or(log_path()),
                                    .filter = std::move(filter),
                                    .clock = [] { return sys_days{2026y / 1 / 5} + 9h + 30min + 123456us; },
                                    .console = pvo_log::FdOutput::borrow(console_fd_)});
    }
    void TearDown() override {
        if (console_fd_ >= 0) ::close(console_fd_);
    }

    static void emit(const pvo_log::Stack& stack, Level level, std::string_view target, std::string message) {
        const pvo_log::Field fields[] = {{"message", std::move(message), false}, {"port", "27419", false}};
        stack.emit({level, target, fields});
    }

    fs::path console_path() const { return dir_.path() / "stderr"; }
    fs::path log_path() const { return dir_.path() / "data" / "parvello.log"; }
    std::string console() const { return read_file(console_path()); }
    std::string log_file() const { return read_file(log_path()); }
    std::vector<std::string> buffer_lines() const { return buffer_->snapshot().lines; }

    TempDir dir_;
    int console_fd_ = -1;
    std::shared_ptr<LogBuffer> buffer_ = std::make_shared<LogBuffer>();
};

struct FilterCase {
    std::string_view filter;
    Level level;
    std::string_view target;
    bool passes;
};

TEST_F(LoggingStackTest, FilterIsTheVariablePlusParvelloAtInfo) {
    const FilterCase cases[] = {
        // unset: only targets beginning with "parvello", INFO and above
        {"", Level::Info, "parvello", true},
        {"", Level::Info, "parvello::server", true},
        {"", Level::Debug, "parvello", false},
        {"", Level::Warn, "pvo_device::discovery", false},
        {"pvo_device=warn", Level::Warn, "pvo_device::discovery", true},
        {"pvo_device=warn", Level::Info, "pvo_device::discovery", false},
        // the variable cannot change `parvello` itself
        {"parvello=warn", Level::Info, "parvello", true},
        {"parvello=off", Level::Info, "parvello", true},
        {"parvello=trace", Level::Debug, "parvello", false},
        // but longer targets and everything else
        {"parvello::server=warn", Level::Info, "parvello::server", false},
        {"parvello::server=warn", Level::Info, "parvello", true},
        {"parvello::server=debug", Level::Debug, "parvello::server", true},
        {"debug", Level::Debug, "pvo_device", true},
        {"debug", Level::Debug, "parvello::desktop", false},
    };
    for (const auto& c : cases) {
        const auto stack = build(std::string(c.filter));
        EXPECT_EQ(stack->enabled(c.level, c.target), c.passes) << '"' << c.filter << "\" " << c.target;
    }
}

TEST_F(LoggingStackTest, EventReachesAllThreePlacesOrNone) {
    for (const auto* filter : {"", "pvo_device=warn"}) {
        const auto stack = build(filter);
        emit(*stack, Level::Warn, "pvo_device::discovery", "catalog load failed: \"bad\"");
    }
    const std::string line =
        "2026-01-05T09:30:00.123456Z  WARN pvo_device::discovery: catalog load failed: \"bad\" port=27419\n";
    EXPECT_EQ(console(), line);
    EXPECT_EQ(log_file(), line);
    EXPECT_EQ(buffer_lines(), std::vector<std::string>{"[WARN] pvo_device::discovery: catalog load failed: \"bad"});
}

TEST_F(LoggingStackTest, SpanDirectivesOfTheVariableSelectEventsByTheirSpan) {
    const auto stack = build("parvello::server[request{method=POST}]=debug");
    const pvo_log::Field event[] = {{"message", "started processing request", false}};
    for (const char* method : {"GET", "POST"}) {
        const pvo_log::Field fields[] = {{"method", method}, {"uri", "/print"}};
        const pvo_log::Span span{"request", "parvello::server", fields};
        stack->emit({Level::Debug, "http::trace", event, &span});
    }
    const std::string line =
        "2026-01-05T09:30:00.123456Z DEBUG request{method=POST uri=/print}: http::trace: "
        "started processing request\n";
    EXPECT_EQ(console(), line);
    EXPECT_EQ(log_file(), line);
    // the buffer shows the message only
    EXPECT_EQ(buffer_lines(), std::vector<std::string>{"[DEBUG] http::trace: started processing request"});
    // the program's own target keeps its INFO directive beside the span directive
    EXPECT_TRUE(stack->enabled(Level::Info, "parvello"));
    EXPECT_FALSE(stack->enabled(Level::Debug, "http::trace"));
}

TEST_F(LoggingStackTest, BrokenDirectivesAreReportedAndSkipped) {
    const auto stack = build("pvo_device=loud,pvo_device::discovery=warn,nonsense");
    EXPECT_EQ(console(),
              "ignoring `pvo_device=loud`: unknown level `loud`; expected trace, debug, info, warn, error or off\n"
              "ignoring `nonsense`: expected a level or target=level\n");
    EXPECT_TRUE(stack->enabled(Level::Warn, "pvo_device::discovery"));
    EXPECT_FALSE(stack->enabled(Level::Warn, "pvo_device::usb"));
}

TEST_F(LoggingStackTest, OnlyTheConsoleIsColoured) {
    const auto stack = build("", true);
    emit(*stack, Level::Info, "parvello", "parvello v2.0.6");
    EXPECT_EQ(console(),
              "\x1b[2m2026-01-05T09:30:00.123456Z\x1b[0m \x1b[32m INFO\x1b[0m \x1b[2mparvello:\x1b[0m "
              "parvello v2.0.6 port=27419\n");
    EXPECT_EQ(log_file(), "2026-01-05T09:30:00.123456Z  INFO parvello: parvello v2.0.6 port=27419\n");
}

TEST_F(LoggingStackTest, UnopenableLogFileLeavesConsoleAndBuffer) {
    std::ofstream(dir_.path() / "plain") << "x";
    const auto stack = build("", false, dir_.path() / "plain" / "parvello.log");
    emit(*stack, Level::Info, "parvello", "up");
    EXPECT_EQ(console(), "2026-01-05T09:30:00.123456Z  INFO parvello: up port=27419\n");
    EXPECT_EQ(buffer_lines(), std::vector<std::string>{"[INFO] parvello: up"});
}

TEST(ConsoleColour, NeedsBothTerminalsAndNoNoColor) {
    for (int bits = 0; bits < 8; ++bits) {
        const bool stderr_tty = bits & 1, no_color = bits & 2, stdout_tty = bits & 4;
        EXPECT_EQ(console_wants_colour(stderr_tty, no_color, stdout_tty), stderr_tty && !no_color && stdout_tty)
            << bits;
    }
    // NO_COLOR, even empty, turns colour off whatever the streams are.
    ScopedEnv no_color("NO_COLOR", "");
    EXPECT_FALSE(console_wants_colour());
}

TEST(FilterText, UnsetOrInvalidUtf8CountsAsEmpty) {
    EXPECT_EQ(filter_text(nullptr), "");
    EXPECT_EQ(filter_text("pvo_device=\xff warn"), "");
    EXPECT_EQ(filter_text("pvo_device=warn"), "pvo_device=warn");
}

}  // namespace
}  // namespace parvello
