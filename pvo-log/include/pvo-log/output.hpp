#pragma once
// Where finished lines go: an open file descriptor. This is the library's one seam to the OS.
#include <expected>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace pvo_log {

class FdOutput {
public:
    // The process's standard error / standard output, not closed by this object.
    static FdOutput standard_error() noexcept;
    static FdOutput standard_output() noexcept;
    // A descriptor the caller keeps open for as long as this object is used.
    static FdOutput borrow(int fd) noexcept;
    // Creates the file's folder with all missing parents, then opens the file for appending,
    // creating it when absent. The descriptor is closed when this object ends.
    static std::expected<FdOutput, std::error_code> open_append(const std::filesystem::path& path);

    FdOutput(FdOutput&& other) noexcept;
    FdOutput& operator=(FdOutput&& other) noexcept;
    FdOutput(const FdOutput&) = delete;
    FdOutput& operator=(const FdOutput&) = delete;
    ~FdOutput();

    // Writes all of `text` in one write call (continuing only after a partial write). A pipe
    // whose reader has gone gives an error instead of ending the process.
    std::expected<void, std::error_code> write(std::string_view text) noexcept;

    bool is_terminal() const noexcept;

private:
    FdOutput(int fd, bool owned) noexcept;

    int fd_ = -1;
    bool owned_ = false;
    bool may_raise_sigpipe_ = false;
};

}  // namespace pvo_log
