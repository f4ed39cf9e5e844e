#include "pvo-log/output.hpp"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <utility>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pvo-util/posix_io.hpp"

namespace pvo_log {
namespace {

std::error_code last_error() { return {errno, std::generic_category()}; }

// Pipes and sockets raise SIGPIPE when their reader has gone; files and terminals never do.
bool raises_sigpipe(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode));
}

std::expected<void, std::error_code> write_all(int fd, std::string_view text) {
    if (auto written = pvo_util::write_all(fd, text); !written) {
        return std::unexpected(std::error_code(written.error(), std::generic_category()));
    }
    return {};
}

// Runs a write with SIGPIPE blocked on this thread and discards the SIGPIPE the write raised,
// so a vanished reader is an error value, not the end of the process.
std::expected<void, std::error_code> write_without_sigpipe(int fd, std::string_view text) {
    sigset_t pipe_only;
    sigemptyset(&pipe_only);
    sigaddset(&pipe_only, SIGPIPE);
    sigset_t previous;
    if (pthread_sigmask(SIG_BLOCK, &pipe_only, &previous) != 0) return write_all(fd, text);
    sigset_t pending;
    sigemptyset(&pending);
    const bool was_pending = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;

    auto result = write_all(fd, text);
    if (!result && result.error() == std::errc::broken_pipe && !was_pending) {
        const timespec no_wait{};
        while (sigtimedwait(&pipe_only, nullptr, &no_wait) < 0 && errno == EINTR) {}
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return result;
}

}  // namespace

FdOutput::FdOutput(int fd, bool owned) noexcept : fd_(fd), owned_(owned), may_raise_sigpipe_(raises_sigpipe(fd)) {}

FdOutput FdOutput::standard_error() noexcept { return FdOutput(STDERR_FILENO, false); }
FdOutput FdOutput::standard_output() noexcept { return FdOutput(STDOUT_FILENO, false); }
FdOutput FdOutput::borrow(int fd) noexcept { return FdOutput(fd, false); }

std::expected<FdOutput, std::error_code> FdOutput::open_append(const std::filesystem::path& path) {
    std::error_code error;
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path(), error);
        if (error) return std::unexpected(error);
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return std::unexpected(last_error());
    return FdOutput(fd, true);
}

FdOutput::FdOutput(FdOutput&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      owned_(std::exchange(other.owned_, false)),
      may_raise_sigpipe_(other.may_raise_sigpipe_) {}

FdOutput& FdOutput::operator=(FdOutput&& other) noexcept {
    if (this != &other) {
        if (owned_) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        owned_ = std::exchange(other.owned_, false);
        may_raise_sigpipe_ = other.may_raise_sigpipe_;
    }
    return *this;
}

FdOutput::~FdOutput() {
    if (owned_) ::close(fd_);
}

std::expected<void, std::error_code> FdOutput::write(std::string_view text) noexcept {
    if (fd_ < 0) return std::unexpected(std::make_error_code(std::errc::bad_file_descriptor));
    return may_raise_sigpipe_ ? write_without_sigpipe(fd_, text) : write_all(fd_, text);
}

bool FdOutput::is_terminal() const noexcept { return fd_ >= 0 && ::isatty(fd_) == 1; }

}  // namespace pvo_log
