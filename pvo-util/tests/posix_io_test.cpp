#include "pvo-util/posix_io.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

TEST(WriteAll, NothingToWriteMakesNoCall) { EXPECT_TRUE(write_all(-1, std::string_view{}).has_value()); }

namespace {

namespace fs = std::filesystem;

std::string file_text(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A fresh folder under the system's temporary folder, removed with everything in it.
struct ScratchFolder {
    fs::path path;
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "replace-file-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path = pattern;
    }
    ~ScratchFolder() { fs::remove_all(path); }
    std::size_t entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(path), {})); }
};

}  // namespace

TEST(ReplaceFile, ReplacesTheWholeFileAndLeavesNoTemporaryFile) {
    ScratchFolder folder;
    const fs::path file = folder.path / "settings.toml";
    ASSERT_TRUE(replace_file(file, "a = 1\nb = 2\n").has_value());
    ASSERT_TRUE(replace_file(file, "a = 3\n").has_value());
    EXPECT_EQ(file_text(file), "a = 3\n");
    EXPECT_EQ(folder.entries(), 1u);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
}

TEST(ReplaceFile, FailuresNameTheirStepAndRemoveTheTemporaryFile) {
    ScratchFolder folder;
    // A non-empty folder where the file should be: renaming over it fails.
    const fs::path blocked = folder.path / "entry";
    fs::create_directories(blocked / "inside");
    const auto renamed = replace_file(blocked, "x");
    ASSERT_FALSE(renamed.has_value());
    EXPECT_EQ(renamed.error().step, "rename");
    EXPECT_EQ(renamed.error().path, blocked);
    EXPECT_NE(renamed.error().error, 0);
    EXPECT_EQ(folder.entries(), 1u);

    const auto missing = replace_file(folder.path / "no-such-folder" / "file", "x");
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().step, "create");
    EXPECT_EQ(missing.error().error, ENOENT);
}
