#include "pvo-util/posix_io.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

using namespace pvo_util;

namespace {

// A pipe whose both ends are closed when the test ends.
struct Pipe {
    Pipe() {
        if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    }
    ~Pipe() {
        for (int fd : fds) {
            if (fd >= 0) ::close(fd);
        }
    }
    void close_reader() { ::close(std::exchange(fds[0], -1)); }
    int fds[2] = {-1, -1};
};

std::string read_all(int fd) {
    std::string out;
    char chunk[65536];
    for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;) out.append(chunk, static_cast<std::size_t>(n));
    return out;
}

}  // namespace

TEST(ErrnoText, IsTheSystemsText) {
    EXPECT_EQ(errno_text(ENOENT), "No such file or directory");
    EXPECT_EQ(errno_text(EACCES), "Permission denied");
}

// More than a pipe holds at once, so the write completes only in parts while the reader drains.
TEST(WriteAll, WritesEveryByteAcrossPartialWrites) {
    Pipe pipe;
    const std::string text(1 << 20, 'x');
    std::string received;
    std::thread reader([&] { received = read_all(pipe.fds[0]); });
    const auto written = write_all(pipe.fds[1], text);
    ::close(std::exchange(pipe.fds[1], -1));
    reader.join();
    ASSERT_TRUE(written.has_value()) << errno_text(written.error());
    EXPECT_EQ(received.size(), text.size());
    EXPECT_EQ(received, text);
}

TEST(WriteAll, FailureGivesTheErrnoValue) {
    EXPECT_EQ(write_all(-1, "x"), std::unexpected(EBADF));

    Pipe pipe;
    pipe.close_reader();
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    const auto written = write_all(pipe.fds[1], "x");
    std::signal(SIGPIPE, previous);
    EXPECT_EQ(written, std::unexpected(EPIPE));
}

TEST(WriteAll, NothingToWriteMakesNoCall) {
    EXPECT_TRUE(write_all(-1, std::string_view{}).has_value());
}
