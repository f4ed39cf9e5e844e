#pragma once
// The text of an XDG Desktop Entry for the login entry, and the reading of one back.
#include <expected>
#include <span>
#include <string>
#include <string_view>

namespace parvello {

// The Exec value of a program and its arguments, by the Desktop Entry rules: the program
// path always in double quotes with ", `, $ and \ escaped, an argument quoted when it holds
// anything beyond plain characters, and every % doubled so none is read as a field code.
// The string escapes of the file format (\\ \n \t \r) are applied by `desktop_entry_text`.
std::string exec_command_line(std::string_view program, std::span<const std::string> arguments);

// A whole entry that starts `program` with `arguments` at login, approved (not hidden).
std::string desktop_entry_text(std::string_view name, std::string_view program, std::span<const std::string> arguments);

// Whether an entry's text leaves it approved: false when its [Desktop Entry] group holds
// Hidden=true or X-GNOME-Autostart-enabled=false, the ways desktops mark an autostart entry
// switched off. Text that is not UTF-8 or not a well-formed entry is an error.
std::expected<bool, std::string> desktop_entry_approved(std::string_view text);

}  // namespace parvello
