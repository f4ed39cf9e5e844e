#include "desktop/desktop_entry.hpp"

#include <map>
#include <optional>

#include <fmt/format.h>

#include "pvo-util/text.hpp"

namespace parvello {
namespace {

constexpr std::string_view kGroup = "Desktop Entry";

// Characters that may stand in an argument without quotes.
bool plain(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("-_./=,+:@").find(c) != std::string_view::npos;
}

std::string quoted_argument(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    out += '"';
    return out;
}

std::string argument(std::string_view text) {
    bool all_plain = !text.empty();
    for (const char c : text) all_plain = all_plain && plain(c);
    return all_plain ? std::string(text) : quoted_argument(text);
}

// The escapes of a string value in the file: applied over the Exec quoting, so a backslash of
// the command line is written twice.
std::string string_value(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    if (!out.empty() && out.front() == ' ') out.replace(0, 1, "\\s");
    return out;
}

bool valid_key(std::string_view key) {
    // A key is [A-Za-z0-9-]+, optionally followed by a locale in brackets.
    const auto open = key.find('[');
    const std::string_view base = key.substr(0, open);
    if (base.empty()) return false;
    for (const char c : base) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-')) return false;
    }
    return open == std::string_view::npos || (key.back() == ']' && key.size() > open + 2);
}

// The keys of the [Desktop Entry] group, or what makes the text no entry.
std::expected<std::map<std::string, std::string, std::less<>>, std::string> entry_keys(std::string_view text) {
    if (!pvo_util::is_valid_utf8(text)) return std::unexpected("the entry is not UTF-8 text");
    std::map<std::string, std::string, std::less<>> keys;
    std::optional<std::string> group;
    bool seen_entry_group = false;
    std::size_t line_number = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (pvo_util::trim_blanks(line).empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3)
                return std::unexpected(fmt::format("line {}: malformed group header", line_number));
            group = std::string(line.substr(1, line.size() - 2));
            if (*group == kGroup) {
                if (seen_entry_group)
                    return std::unexpected(fmt::format("line {}: group [{}] given twice", line_number, kGroup));
                seen_entry_group = true;
            }
            continue;
        }
        const auto equals = line.find('=');
        const std::string_view key =
            equals == std::string_view::npos ? line : pvo_util::trim_blanks(line.substr(0, equals));
        if (!group || equals == std::string_view::npos || !valid_key(key))
            return std::unexpected(fmt::format("line {}: not a key=value line of a group", line_number));
        if (*group != kGroup) continue;
        if (!keys.emplace(std::string(key), std::string(pvo_util::trim_blanks(line.substr(equals + 1)))).second)
            return std::unexpected(fmt::format("line {}: key {} given twice", line_number, key));
    }
    if (!seen_entry_group) return std::unexpected(fmt::format("no [{}] group", kGroup));
    return keys;
}

// A boolean key: its value when present, none when absent, an error for any other value.
std::expected<std::optional<bool>, std::string> boolean_key(const auto& keys, std::string_view key) {
    const auto it = keys.find(key);
    if (it == keys.end()) return std::nullopt;
    if (it->second == "true") return true;
    if (it->second == "false") return false;
    return std::unexpected(fmt::format("{}: expected true or false", key));
}

}  // namespace

std::string exec_command_line(std::string_view program, std::span<const std::string> arguments) {
    std::string line = quoted_argument(program);
    for (const auto& arg : arguments) line += " " + argument(arg);
    return line;
}

std::string desktop_entry_text(std::string_view name, std::string_view program,
                               std::span<const std::string> arguments) {
    // Terminal=false: started at login without a terminal window. Hidden and
    // X-GNOME-Autostart-enabled are written approved so a rewrite undoes a switch-off.
    return fmt::format(
        "[{}]\n"
        "Type=Application\n"
        "Name={}\n"
        "Exec={}\n"
        "Terminal=false\n"
        "Hidden=false\n"
        "X-GNOME-Autostart-enabled=true\n",
        kGroup, string_value(name), string_value(exec_command_line(program, arguments)));
}

std::expected<bool, std::string> desktop_entry_approved(std::string_view text) {
    auto keys = entry_keys(text);
    if (!keys) return std::unexpected(keys.error());
    auto hidden = boolean_key(*keys, "Hidden");
    if (!hidden) return std::unexpected(hidden.error());
    auto enabled = boolean_key(*keys, "X-GNOME-Autostart-enabled");
    if (!enabled) return std::unexpected(enabled.error());
    return !hidden->value_or(false) && enabled->value_or(true);
}

}  // namespace parvello
