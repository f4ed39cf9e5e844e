#include "field_value.hpp"

#include "shape_messages.hpp"

#include <limits>
#include <string_view>

namespace parvello::request {
namespace {

template <class U>
constexpr std::string_view width_name() {
    if constexpr (sizeof(U) == 2)
        return "u16";
    else if constexpr (sizeof(U) == 4)
        return "u32";
    else
        return "u64";
}

template <class U>
Assigned assign_unsigned(const json::Scalar& value, U& out) {
    constexpr std::string_view expected = width_name<U>();
    if (value.kind != json::Kind::Number || value.number.kind == json::Number::Kind::Float) {
        return std::unexpected(invalid_type(value, expected));
    }
    if (value.number.kind == json::Number::Kind::Negative ||
        value.number.unsigned_value > std::numeric_limits<U>::max()) {
        return std::unexpected(invalid_value(value, expected));
    }
    out = static_cast<U>(value.number.unsigned_value);
    return {};
}

// Null gives none; anything else is read as the field's own type.
template <class T>
Assigned assign_optional(json::Scalar& value, std::optional<T>& out) {
    if (value.kind == json::Kind::Null) {
        out.reset();
        return {};
    }
    T inner{};
    if (auto assigned = assign(value, inner); !assigned) return assigned;
    out = std::move(inner);
    return {};
}

}  // namespace

Assigned assign(json::Scalar& value, std::string& out) {
    if (value.kind != json::Kind::String) return std::unexpected(invalid_type(value, "a string"));
    out = value.text.take();
    return {};
}

Assigned assign(json::Scalar& value, LabelText& out, const std::shared_ptr<const void>& keeper) {
    if (value.kind == json::Kind::String && !value.text.escaped && keeper) {
        out = LabelText(keeper, value.text.raw);
        return {};
    }
    std::string text;
    auto assigned = assign(value, text);
    if (assigned) out = LabelText(std::move(text));
    return assigned;
}

Assigned assign(json::Scalar& value, std::uint16_t& out) { return assign_unsigned(value, out); }
Assigned assign(json::Scalar& value, std::uint32_t& out) { return assign_unsigned(value, out); }
Assigned assign(json::Scalar& value, std::uint64_t& out) { return assign_unsigned(value, out); }

Assigned assign(json::Scalar& value, std::optional<std::string>& out) { return assign_optional(value, out); }
Assigned assign(json::Scalar& value, std::optional<std::uint16_t>& out) { return assign_optional(value, out); }
Assigned assign(json::Scalar& value, std::optional<std::uint64_t>& out) { return assign_optional(value, out); }

}  // namespace parvello::request
