#pragma once
#include <expected>
#include <string>

namespace parvello {

// The path of the running executable, as the kernel gives it (bytes, not checked as UTF-8), or
// the text of the failure: "read /proc/self/exe: <reason>".
std::expected<std::string, std::string> executable_path();

}  // namespace parvello
