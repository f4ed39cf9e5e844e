#pragma once
// Where the agent keeps its files, the settings file config.toml, and the bind-host check.
//
// Folders follow the XDG base directories: settings in $XDG_CONFIG_HOME/parvello/, the log
// file and the web-view data in $XDG_DATA_HOME/parvello/. Every call recomputes the paths.
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace parvello {

struct BridgeConfig {
    std::uint16_t port = 27419;
    bool autostart = true;
    bool operator==(const BridgeConfig&) const = default;
};

// The two base folders. Both must resolve for any path of this module to resolve.
struct BaseDirs {
    std::filesystem::path config_home;  // $XDG_CONFIG_HOME, else $HOME/.config
    std::filesystem::path data_home;    // $XDG_DATA_HOME, else $HOME/.local/share
};

// Reads the process environment; none when either folder cannot be resolved (no usable
// XDG variable and no absolute HOME).
std::optional<BaseDirs> base_dirs_from_env();

std::optional<std::filesystem::path> config_file_path();
std::optional<std::filesystem::path> log_file_path();
std::optional<std::filesystem::path> webview_data_dir();

std::filesystem::path config_file_path(const BaseDirs& dirs);
std::filesystem::path log_file_path(const BaseDirs& dirs);
std::filesystem::path webview_data_dir(const BaseDirs& dirs);

struct ConfigError {
    std::string message;
};

// A missing settings file gives the defaults; a bad one gives an error.
std::expected<BridgeConfig, ConfigError> load_config();
std::expected<BridgeConfig, ConfigError> load_config_file(const std::filesystem::path& file);

// Writes the two-line form atomically (temporary file in the same folder, then rename), so a
// crash during a save leaves the previous settings in place.
std::expected<void, ConfigError> save_config(const BridgeConfig& config);
std::expected<void, ConfigError> save_config_file(const BridgeConfig& config, const std::filesystem::path& file);

// Accepts "127.0.0.1", "localhost" or "::1" after trimming Unicode white space.
std::expected<void, ConfigError> check_bind_host(std::string_view host);

}  // namespace parvello
