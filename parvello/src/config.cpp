#include "parvello/config.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

#include <fmt/format.h>
#include <toml++/toml.h>

#include "pvo-util/posix_io.hpp"
#include "pvo-util/text.hpp"

namespace parvello {
namespace fs = std::filesystem;
using pvo_util::absolute_env;
using pvo_util::errno_text;

namespace {

constexpr std::string_view kAppDir = "parvello";

std::optional<fs::path> xdg_dir(const char* variable, const char* home_relative) {
    if (auto dir = absolute_env(variable)) return dir;
    if (auto home = absolute_env("HOME")) return *home / home_relative;
    return std::nullopt;
}

template <typename F>
auto with_dirs(F&& f) -> std::optional<fs::path> {
    auto dirs = base_dirs_from_env();
    if (!dirs) return std::nullopt;
    return f(*dirs);
}

std::expected<std::uint16_t, ConfigError> read_port(const toml::node& node) {
    const auto* integer = node.as_integer();
    if (integer == nullptr) return std::unexpected(ConfigError{"port: expected an integer"});
    const std::int64_t value = integer->get();
    if (value < 0 || value > 65535)
        return std::unexpected(ConfigError{fmt::format("port: {} is out of range 0 to 65535", value)});
    return static_cast<std::uint16_t>(value);
}

}  // namespace

std::optional<BaseDirs> base_dirs_from_env() {
    auto config_home = xdg_dir("XDG_CONFIG_HOME", ".config");
    auto data_home = xdg_dir("XDG_DATA_HOME", ".local/share");
    if (!config_home || !data_home) return std::nullopt;
    return BaseDirs{*config_home, *data_home};
}

fs::path config_file_path(const BaseDirs& dirs) { return dirs.config_home / kAppDir / "config.toml"; }
fs::path log_file_path(const BaseDirs& dirs) { return dirs.data_home / kAppDir / "parvello.log"; }
fs::path webview_data_dir(const BaseDirs& dirs) { return dirs.data_home / kAppDir / "webview"; }

std::optional<fs::path> config_file_path() {
    return with_dirs([](const BaseDirs& d) { return config_file_path(d); });
}
std::optional<fs::path> log_file_path() {
    return with_dirs([](const BaseDirs& d) { return log_file_path(d); });
}
std::optional<fs::path> webview_data_dir() {
    return with_dirs([](const BaseDirs& d) { return webview_data_dir(d); });
}

std::expected<BridgeConfig, ConfigError> load_config() {
    auto path = config_file_path();
    if (!path) return BridgeConfig{};
    return load_config_file(*path);
}

std::expected<BridgeConfig, ConfigError> load_config_file(const fs::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return BridgeConfig{};  // missing or unreachable

    std::ifstream in(file, std::ios::binary);
    if (!in) return std::unexpected(ConfigError{fmt::format("read {}: {}", file.string(), errno_text(errno))});
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return std::unexpected(ConfigError{fmt::format("read {}: read failed", file.string())});
    const std::string text = std::move(buffer).str();
    if (!pvo_util::is_valid_utf8(text)) return std::unexpected(ConfigError{"stream did not contain valid UTF-8"});

    toml::table table;
    try {
        table = toml::parse(text, file.string());
    } catch (const toml::parse_error& e) {
        return std::unexpected(ConfigError{std::string(e.description())});
    }

    BridgeConfig config;
    if (const auto* node = table.get("port")) {
        auto port = read_port(*node);
        if (!port) return std::unexpected(port.error());
        config.port = *port;
    }
    if (const auto* node = table.get("autostart")) {
        const auto* flag = node->as_boolean();
        if (flag == nullptr) return std::unexpected(ConfigError{"autostart: expected a boolean"});
        config.autostart = flag->get();
    }
    if (config.port == 0) return std::unexpected(ConfigError{"port must be non-zero"});
    return config;
}

std::expected<void, ConfigError> save_config(const BridgeConfig& config) {
    if (config.port == 0) return std::unexpected(ConfigError{"port must be non-zero"});
    auto path = config_file_path();
    if (!path) return std::unexpected(ConfigError{"could not resolve config directory"});
    return save_config_file(config, *path);
}

std::expected<void, ConfigError> save_config_file(const BridgeConfig& config, const fs::path& file) {
    if (config.port == 0) return std::unexpected(ConfigError{"port must be non-zero"});
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    if (ec)
        return std::unexpected(ConfigError{fmt::format("create {}: {}", file.parent_path().string(), ec.message())});

    const std::string content =
        fmt::format("port = {}\nautostart = {}\n", config.port, config.autostart ? "true" : "false");
    // The settings are small and rarely saved: make them durable before they replace the old.
    if (auto replaced = pvo_util::replace_file(file, content); !replaced) {
        const auto& e = replaced.error();
        return std::unexpected(ConfigError{fmt::format("{} {}: {}", e.step, e.path.string(), errno_text(e.error))});
    }
    return {};
}

std::expected<void, ConfigError> check_bind_host(std::string_view host) {
    const std::string_view trimmed = pvo_util::trim_unicode_white_space(host);
    if (trimmed == "127.0.0.1" || trimmed == "localhost" || trimmed == "::1") return {};
    return std::unexpected(ConfigError{"parvello binds loopback only; refused host " + pvo_util::quoted(trimmed)});
}

}  // namespace parvello
