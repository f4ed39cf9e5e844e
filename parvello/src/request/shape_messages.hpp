#pragma once
// The texts of the faults where well-formed JSON does not fit a record.
#include "json_cursor.hpp"

#include <cstddef>
#include <string>
#include <string_view>

namespace parvello::request {

// The value met, as the messages name it: "null", "boolean `true`", "integer `70000`",
// "floating point `1.5`", "string \"text\"", "map" or "sequence".
std::string describe(const json::Scalar& value);

// The shortest text that reads back as the same double: "1.5", "100.0", "1e20", "-0.0".
std::string float_text(double value);

// "invalid type: {found}, expected {expected}"
std::string invalid_type(const json::Scalar& found, std::string_view expected);
// "invalid value: {found}, expected {expected}"
std::string invalid_value(const json::Scalar& found, std::string_view expected);
// "missing field `{name}`"
std::string missing_field(std::string_view name);
// "duplicate field `{name}`"
std::string duplicate_field(std::string_view name);
// "invalid length {count}, expected {expected}"
std::string invalid_length(std::size_t count, std::string_view expected);

}  // namespace parvello::request
