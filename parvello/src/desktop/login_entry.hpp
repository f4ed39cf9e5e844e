#pragma once
// The login entry as an XDG autostart file, <name>.desktop.
//
// Two places play the machine-wide and the user's entry: the system autostart directory
// (the first directory of $XDG_CONFIG_DIRS, default /etc/xdg, plus /autostart) and the
// user's ($XDG_CONFIG_HOME/autostart, default ~/.config/autostart). A user file of the same
// name overrides the system one, and Hidden=true (or X-GNOME-Autostart-enabled=false) in
// either marks the entry switched off.
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace parvello {

struct AutostartError {
    std::string message;
};

struct AutostartDirs {
    std::filesystem::path system;
    std::filesystem::path user;
};

// From XDG_CONFIG_DIRS, XDG_CONFIG_HOME and HOME (only absolute paths count); none when the
// user's directory cannot be resolved.
std::optional<AutostartDirs> autostart_dirs_from_env();

class LoginEntry {
public:
    LoginEntry(std::string name, std::string program, std::vector<std::string> arguments, AutostartDirs dirs);

    // Writes the entry, approved, into the system directory, or into the user's when the
    // system one refuses for lack of permission. A user file of the same name would hide a
    // system entry, so it is rewritten approved as well.
    std::expected<void, AutostartError> enable() const;

    // Present in either directory and approved in both.
    std::expected<bool, AutostartError> is_enabled() const;

    // Removes the entry from the system directory (a refusal is passed over) and then from
    // the user's. A missing entry is no error.
    std::expected<void, AutostartError> disable() const;

    std::filesystem::path system_file() const;
    std::filesystem::path user_file() const;

private:
    struct Failure {
        std::error_code code;
        std::string message;
    };
    std::expected<void, Failure> write_into(const std::filesystem::path& dir) const;

    std::string name_;
    std::string program_;
    std::vector<std::string> arguments_;
    AutostartDirs dirs_;
};

}  // namespace parvello
