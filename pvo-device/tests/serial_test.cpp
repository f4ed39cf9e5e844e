// The serial transport against pseudo-terminals, with the test playing the device.
#include "pvo-device/serial.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "pty_device.hpp"
#include "pvo-test-support/temp_dir.hpp"
#include "test_bytes.hpp"
#include "tty_speed_probe.hpp"

namespace pvo_device {
namespace {

using namespace std::chrono_literals;
using test::bytes_of;
using test::pattern;
using test::PtyDevice;
namespace fs = std::filesystem;

constexpr std::uint32_t baud = 115200;

std::string slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A temporary folder whose entries are named with `/`.
struct TempDir : pvo_test_support::TempDir {
    fs::path operator/(const std::string& name) const { return path() / name; }
};

TEST(SerialRead, QuietLineGivesNoBytesAndNoError) {
    PtyDevice device;
    SerialTarget target(device.path(), baud);
    const auto reply = serial_read(target, 64, 20ms);
    ASSERT_TRUE(reply.has_value()) << reply.error().message();
    EXPECT_TRUE(reply->empty());
    EXPECT_TRUE(target.is_open());
}

TEST(SerialRead, BurstLongerThanOneChunkComesBackWhole) {
    PtyDevice device;
    SerialTarget target(device.path(), baud);
    const auto burst = pattern(300);
    device.send(burst);
    const auto reply = serial_read(target, 4096, 2s);
    ASSERT_TRUE(reply.has_value()) << reply.error().message();
    EXPECT_EQ(*reply, burst);
}

TEST(SerialRead, SilenceLongerThanTheGapEndsTheReply) {
    PtyDevice device;
    SerialTarget target(device.path(), baud, {.read_gap = 10ms});
    ASSERT_TRUE(serial_read(target, 64, 0ms).has_value());  // opens the port

    std::promise<void> first_read_done;
    std::thread device_side([&, done = first_read_done.get_future()] {
        device.send("first");
        // Only a reader that stopped at the gap lets "second" stay a reply of its own; one that
        // waits for its whole time-out would collect it here.
        done.wait_for(5s);
        device.send("second");
    });
    const auto first = serial_read(target, 64, 30s);
    first_read_done.set_value();
    const auto second = serial_read(target, 64, 30s);
    device_side.join();

    ASSERT_TRUE(first.has_value()) << first.error().message();
    ASSERT_TRUE(second.has_value()) << second.error().message();
    EXPECT_EQ(*first, bytes_of("first"));
    EXPECT_EQ(*second, bytes_of("second"));
}

// A device that never pauses (a streaming adapter on the wrong port) must not hold the read:
// it ends once `max_len` bytes are in (keeping the rest of that 256-byte chunk), or at its limit
// when far more is asked. Every byte it returns is the stream's next one.
TEST(SerialRead, DeviceThatNeverPausesEndsAtMaxLenOrAtTheLimit) {
    struct Case {
        const char* name;
        std::size_t max_len;
        std::chrono::milliseconds limit;
    };
    const Case cases[] = {
        {"ends at max_len", 32, std::chrono::hours(1)},
        {"ends at the limit", 1u << 30, 100ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PtyDevice device;
        SerialTarget target(device.path(), baud);
        test::StreamingDevice stream(device);
        const auto reply = serial_read(target, c.max_len, c.limit);
        stream.stop();
        EXPECT_FALSE(stream.gave_up()) << "the read went on while the device kept talking";
        ASSERT_TRUE(reply.has_value()) << reply.error().message();
        ASSERT_FALSE(reply->empty());
        EXPECT_LT(reply->size(), c.max_len + 256);
        for (std::size_t i = 0; i < reply->size(); ++i) ASSERT_EQ((*reply)[i], test::stream_byte(i)) << i;
        if (c.max_len == 32) {
            EXPECT_GE(reply->size(), 32u);
        }
    }
}

TEST(SerialWrite, EveryByteReachesTheDeviceEvenWhenItReadsSlowly) {
    PtyDevice device;
    SerialTarget target(device.path(), baud);
    const auto payload = pattern(200'000);  // far beyond what the line buffers
    auto received = std::async(std::launch::async, [&] { return device.receive(payload.size()); });
    const auto written = serial_write(target, payload);
    ASSERT_TRUE(written.has_value()) << written.error().message();
    EXPECT_EQ(received.get(), payload);
}

TEST(SerialWrite, DeviceThatTakesNothingFailsTheWriteInsteadOfHanging) {
    PtyDevice device;
    SerialTarget target(device.path(), baud, {.write_stall = 20ms});
    const auto written = serial_write(target, pattern(1'000'000));
    ASSERT_FALSE(written.has_value());
    EXPECT_EQ(written.error().kind, DeviceError::Kind::Transport);
    EXPECT_TRUE(written.error().text.starts_with("serial write: ")) << written.error().text;
}

TEST(SerialOpen, FailedOpenIsTriedAgainAtTheNextOperation) {
    PtyDevice device;
    TempDir dir;
    const auto link = dir / "port";
    SerialTarget target(link.string(), baud);

    const auto first = serial_write(target, bytes_of("lost"));
    ASSERT_FALSE(first.has_value());
    EXPECT_EQ(first.error(), DeviceError::transport("open serial " + link.string() + ": No such file or directory"));
    EXPECT_FALSE(target.is_open());

    fs::create_symlink(device.path(), link);
    const auto second = serial_write(target, bytes_of("label"));
    ASSERT_TRUE(second.has_value()) << second.error().message();
    EXPECT_EQ(device.receive(5), bytes_of("label"));
}

// Any rate is asked of the driver, those that termios names and those it does not (through
// termios2). A pseudo-terminal takes every rate and reports it back; a rate a real driver
// refuses fails at opening with the system's text.
TEST(SerialOpen, AnyBaudRateIsSetOnTheLine) {
    for (const std::uint32_t rate : {9600u, 115200u, 14400u, 250000u, 12345u, 4294967295u}) {
        SCOPED_TRACE(rate);
        PtyDevice device;
        SerialTarget target(device.path(), rate);
        const auto written = serial_write(target, bytes_of("label"));
        ASSERT_TRUE(written.has_value()) << written.error().message();
        EXPECT_EQ(device.receive(5), bytes_of("label"));
        EXPECT_EQ(test::output_speed(device.path()), rate);
    }
}

// A rate of 0 would hang the line up rather than set a speed.
TEST(SerialOpen, BaudRateZeroIsRefusedBeforeTouchingTheLine) {
    PtyDevice device;
    SerialTarget target(device.path(), 0);
    const auto written = serial_write(target, bytes_of("label"));
    ASSERT_FALSE(written.has_value());
    EXPECT_EQ(written.error(), DeviceError::transport("open serial " + device.path() + ": unsupported baud rate 0"));
    EXPECT_TRUE(device.receive(1, 0).empty());
}

// A web page names the path, so anything that is not a terminal device must be refused
// without a byte written to it.
TEST(SerialOpen, PathThatIsNotATerminalIsRefusedAndLeftUntouched) {
    TempDir dir;
    const auto file = dir / "file";
    std::ofstream(file) << "keep";
    const auto fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int fifo_reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fifo_reader, 0);
    const auto folder = dir / "folder";
    fs::create_directory(folder);

    for (const fs::path& path : {file, fifo, folder, fs::path("/dev/null"), dir / "missing"}) {
        SerialTarget target(path.string(), baud);
        const auto written = serial_write(target, bytes_of("label"));
        ASSERT_FALSE(written.has_value()) << path;
        EXPECT_EQ(written.error().kind, DeviceError::Kind::Transport);
        EXPECT_TRUE(written.error().text.starts_with("open serial " + path.string() + ": ")) << written.error().text;
        EXPECT_FALSE(target.is_open());
    }
    EXPECT_EQ(slurp(file), "keep");
    char byte = 0;
    EXPECT_LE(::read(fifo_reader, &byte, 1), 0);
    ::close(fifo_reader);
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST(SerialHangUp, ReadAndWriteOnAHungUpLineFail) {
    PtyDevice device;
    SerialTarget target(device.path(), baud);
    ASSERT_TRUE(serial_read(target, 64, 0ms).has_value());
    device.hang_up();

    const auto reply = serial_read(target, 64, 1s);
    ASSERT_FALSE(reply.has_value());
    EXPECT_TRUE(reply.error().text.starts_with("serial read: ")) << reply.error().text;

    const auto written = serial_write(target, bytes_of("label"));
    ASSERT_FALSE(written.has_value());
    EXPECT_TRUE(written.error().text.starts_with("serial write: ")) << written.error().text;
}

}  // namespace
}  // namespace pvo_device
