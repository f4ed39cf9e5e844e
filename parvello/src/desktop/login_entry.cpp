#include "desktop/login_entry.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <fmt/format.h>

#include "desktop/desktop_entry.hpp"
#include "pvo-util/posix_io.hpp"

namespace parvello {
namespace fs = std::filesystem;
using pvo_util::absolute_env;

namespace {

// The first absolute directory of XDG_CONFIG_DIRS; relative entries are ignored, as the base
// directory rules require.
fs::path system_config_dir() {
    if (const char* dirs = std::getenv("XDG_CONFIG_DIRS")) {
        std::string_view rest = dirs;
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            const std::string_view dir = rest.substr(0, colon);
            if (!dir.empty() && dir.front() == '/') return fs::path(dir);
            rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
        }
    }
    return "/etc/xdg";
}

std::error_code errno_code(int err) { return {err, std::generic_category()}; }

// Refusals that send the entry to the user's directory instead.
bool refused(const std::error_code& code) {
    return code == std::errc::permission_denied || code == std::errc::operation_not_permitted ||
           code == std::errc::read_only_file_system;
}

bool missing(const std::error_code& code) {
    return code == std::errc::no_such_file_or_directory || code == std::errc::not_a_directory;
}

AutostartError to_error(std::string_view what, const fs::path& path, const std::error_code& code) {
    return {fmt::format("{} {}: {}", what, path.string(), code.message())};
}

// The entry's text, none when there is no such file.
std::expected<std::optional<std::string>, AutostartError> read_entry(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const auto code = errno_code(errno);
        if (missing(code)) return std::nullopt;
        return std::unexpected(to_error("read", file, code));
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const auto code = errno_code(errno);
            ::close(fd);
            return std::unexpected(to_error("read", file, code));
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

// Whether the entry at `file` is approved; an absent entry is.
std::expected<bool, AutostartError> approved(const fs::path& file, const std::optional<std::string>& text) {
    if (!text) return true;
    auto result = desktop_entry_approved(*text);
    if (!result) return std::unexpected(AutostartError{fmt::format("{}: {}", file.string(), result.error())});
    return *result;
}

}  // namespace

std::optional<AutostartDirs> autostart_dirs_from_env() {
    std::optional<fs::path> config_home = absolute_env("XDG_CONFIG_HOME");
    if (!config_home) {
        if (auto home = absolute_env("HOME")) config_home = *home / ".config";
    }
    if (!config_home) return std::nullopt;
    return AutostartDirs{system_config_dir() / "autostart", *config_home / "autostart"};
}

LoginEntry::LoginEntry(std::string name, std::string program, std::vector<std::string> arguments, AutostartDirs dirs)
    : name_(std::move(name)), program_(std::move(program)), arguments_(std::move(arguments)), dirs_(std::move(dirs)) {}

fs::path LoginEntry::system_file() const { return dirs_.system / (name_ + ".desktop"); }
fs::path LoginEntry::user_file() const { return dirs_.user / (name_ + ".desktop"); }

// Temporary file in the same directory, flushed to disk, then renamed over the entry: a
// reader sees the old entry or the new one, never a part.
std::expected<void, LoginEntry::Failure> LoginEntry::write_into(const fs::path& dir) const {
    const fs::path file = dir / (name_ + ".desktop");
    auto fail = [&](std::string_view what, const fs::path& path, std::error_code code) {
        return std::unexpected(Failure{code, to_error(what, path, code).message});
    };
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return fail("create", dir, ec);

    const std::string content = desktop_entry_text(name_, program_, arguments_);
    if (auto replaced = pvo_util::replace_file(file, content); !replaced) {
        const auto& e = replaced.error();
        return fail(e.step, e.path, errno_code(e.error));
    }
    return {};
}

std::expected<void, AutostartError> LoginEntry::enable() const {
    auto system = write_into(dirs_.system);
    if (!system) {
        if (!refused(system.error().code)) return std::unexpected(AutostartError{system.error().message});
        auto user = write_into(dirs_.user);
        if (!user) return std::unexpected(AutostartError{user.error().message});
        return {};
    }
    // A user file of the same name overrides the system entry; left switched off it would
    // keep the agent from starting although the switch-on succeeded.
    std::error_code ec;
    if (!fs::exists(user_file(), ec)) return {};
    auto user = write_into(dirs_.user);
    if (!user) return std::unexpected(AutostartError{user.error().message});
    return {};
}

std::expected<bool, AutostartError> LoginEntry::is_enabled() const {
    auto system = read_entry(system_file());
    if (!system) return std::unexpected(system.error());
    std::optional<std::optional<std::string>> user;
    if (!*system) {
        auto read = read_entry(user_file());
        if (!read) return std::unexpected(read.error());
        if (!*read) return false;
        user = std::move(*read);
    }
    auto system_approved = approved(system_file(), *system);
    if (!system_approved || !*system_approved) return system_approved;
    if (!user) {
        auto read = read_entry(user_file());
        if (!read) return std::unexpected(read.error());
        user = std::move(*read);
    }
    return approved(user_file(), *user);
}

std::expected<void, AutostartError> LoginEntry::disable() const {
    for (const auto& file : {system_file(), user_file()}) {
        if (::unlink(file.c_str()) == 0) continue;
        const auto code = errno_code(errno);
        if (missing(code)) continue;
        // Without permission for the system directory the user's entry is still removed.
        if (file == system_file() && refused(code)) continue;
        return std::unexpected(to_error("remove", file, code));
    }
    return {};
}

}  // namespace parvello
