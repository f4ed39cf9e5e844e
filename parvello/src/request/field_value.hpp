#pragma once
// Turning one JSON value into a field of a record: text, unsigned integers of each width, and
// their optional forms (null or absent gives none). A mismatch gives the fault's text.
#include "json_cursor.hpp"
#include "parvello/request.hpp"

#include <cstdint>
#include <expected>
#include <optional>
#include <string>

namespace parvello::request {

using Assigned = std::expected<void, std::string>;

Assigned assign(json::Scalar& value, std::string& out);
// A string that held no escape views the input when `keeper` keeps it alive; any other is copied.
Assigned assign(json::Scalar& value, LabelText& out, const std::shared_ptr<const void>& keeper);
Assigned assign(json::Scalar& value, std::optional<std::string>& out);
Assigned assign(json::Scalar& value, std::uint16_t& out);
Assigned assign(json::Scalar& value, std::uint32_t& out);
Assigned assign(json::Scalar& value, std::uint64_t& out);
Assigned assign(json::Scalar& value, std::optional<std::uint16_t>& out);
Assigned assign(json::Scalar& value, std::optional<std::uint64_t>& out);

}  // namespace parvello::request
