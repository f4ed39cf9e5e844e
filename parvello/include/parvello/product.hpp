#pragma once
#include <string_view>

namespace parvello {

inline constexpr std::string_view kProductName = "parvello";
// The build sets the version from the project's own (project(VERSION) in CMake).
inline constexpr std::string_view kVersion = PVO_VERSION;
inline constexpr unsigned kApiVersion = 1;
inline constexpr unsigned short kDefaultPort = 27419;

// The maker's web host, whose https origins (bare and www) the agent trusts. Set by the build
// (PVO_MAKER_HOST) and kept in this one place.
std::string_view maker_host() noexcept;

}  // namespace parvello
