#pragma once
// Reading a record by a table of its fields, in declaration order. A record is a JSON object
// (keys in any order, unknown keys skipped, a key twice refused, absent fields settled at the
// end) or a JSON array of the field values in declaration order (missing trailing fields that
// are optional or defaulted take none or their default).
//
// Two sources: the cursor, for records read straight from the text, and the entries kept aside
// while a tagged transport object was read, whose faults all stand at the end of that object.
#include "field_value.hpp"
#include "json_cursor.hpp"
#include "parvello/request.hpp"
#include "shape_messages.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace parvello::request {

enum class Presence : std::uint8_t { Required, Optional, Defaulted };

template <class R, class T>
struct Field {
    std::string_view name;
    T R::*member;
    Presence presence;
};

template <class R, class T>
constexpr Field<R, T> field(std::string_view name, T R::*member, Presence presence = Presence::Required) {
    return {name, member, presence};
}

template <class R, class... T>
struct Shape {
    std::string_view expecting;        // "struct JobEnvelope": what a value of another type misses
    std::string_view with_all_fields;  // "struct JobEnvelope with 5 elements"
    std::tuple<Field<R, T>...> fields;

    static constexpr std::size_t size = sizeof...(T);
    static_assert(size <= 32, "fields are tracked in a 32-bit set");

    constexpr std::array<std::string_view, size> names() const {
        return std::apply([](const auto&... f) { return std::array{f.name...}; }, fields);
    }
    constexpr std::size_t find(std::string_view key) const {
        const auto all = names();
        for (std::size_t i = 0; i < size; ++i) {
            if (all[i] == key) return i;
        }
        return size;
    }
    // Calls `f` with the field at `index`; returns what it returns.
    template <class F>
    bool with_field(std::size_t index, F&& f) const {
        return std::apply(
            [&](const auto&... each) {
                std::size_t i = 0;
                bool result = false;
                const auto visit = [&](const auto& one) {
                    if (i++ == index) result = f(one);
                };
                (visit(each), ...);
                return result;
            },
            fields);
    }
    // The first required field, in declaration order, that `seen` lacks.
    std::optional<std::string_view> first_missing(std::uint32_t seen) const {
        const auto all = names();
        const auto presences = std::apply([](const auto&... f) { return std::array{f.presence...}; }, fields);
        for (std::size_t i = 0; i < size; ++i) {
            if (!(seen >> i & 1u) && presences[i] == Presence::Required) return all[i];
        }
        return std::nullopt;
    }
};

template <class R, class... T>
constexpr Shape<R, T...> shape(std::string_view expecting, std::string_view with_all_fields, Field<R, T>... fields) {
    return {expecting, with_all_fields, std::tuple{fields...}};
}

// A value read while its record's type was not yet known. Its key is empty for array forms.
struct KeptEntry {
    json::Text key;
    json::Scalar value;
};

// Reads the next value and refuses it as "invalid type: {found}, expected {expecting}".
bool refuse_type(json::Cursor& in, std::string_view expecting);

// The values of fields that are themselves more than one JSON scalar.
bool read_value(json::Cursor& in, Transport& out);
bool read_value(json::Cursor& in, std::vector<JobLabel>& out);
bool read_value(json::Cursor& in, LabelText& out);

template <class T>
bool read_value(json::Cursor& in, T& out) {
    json::Scalar value;
    if (!in.read_scalar(value)) return false;
    auto assigned = assign(value, out);
    return assigned ? true : in.shape_here(std::move(assigned.error()));
}

template <class R, class... T>
bool read_record_object(json::Cursor& in, R& out, const Shape<R, T...>& shape) {
    if (!in.open()) return false;
    std::uint32_t seen = 0;
    bool first = true;
    json::Text key;
    for (;;) {
        const auto step = in.next_member(first);
        if (step == json::Cursor::Step::Failed) return false;
        if (step == json::Cursor::Step::End) break;
        if (!in.read_key(key)) return false;
        const std::size_t index = shape.find(key.view());
        if (index < shape.size && (seen >> index & 1u)) {
            return in.shape_here(duplicate_field(key.view()));
        }
        in.push_key(key.view());
        if (!in.colon()) return false;
        const bool read = index < shape.size
                              ? shape.with_field(index, [&](const auto& f) { return read_value(in, out.*f.member); })
                              : in.skip_value();
        if (!read) return false;
        in.pop();
        seen |= index < shape.size ? 1u << index : 0u;
    }
    in.close();
    if (auto missing = shape.first_missing(seen)) return in.shape_here(missing_field(*missing));
    return true;
}

template <class R, class... T>
bool read_record_array(json::Cursor& in, R& out, const Shape<R, T...>& shape) {
    if (!in.open()) return false;
    bool first = true;
    bool ended = false;  // the closing bracket has been peeked
    std::size_t given = 0;
    for (std::size_t i = 0; i < shape.size; ++i) {
        const bool read = shape.with_field(i, [&](const auto& f) {
            if (!ended) {
                in.push_index(i);
                const auto step = in.next_element(first);
                if (step == json::Cursor::Step::Failed) return false;
                if (step == json::Cursor::Step::Item) {
                    if (!read_value(in, out.*f.member)) return false;
                    in.pop();
                    ++given;
                    return true;
                }
                in.pop();
                ended = true;
            }
            if (f.presence != Presence::Required) return true;
            in.close();
            return in.shape_here(invalid_length(given, shape.with_all_fields));
        });
        if (!read) return false;
    }
    if (ended) {
        in.close();
        return true;
    }
    return in.close_fixed_array();
}

// A record as an object or an array; any other value is refused as a wrong type.
template <class R, class... T>
bool read_record(json::Cursor& in, R& out, const Shape<R, T...>& shape) {
    const int c = in.peek();
    if (c == '{') return read_record_object(in, out, shape);
    if (c == '[') return read_record_array(in, out, shape);
    return refuse_type(in, shape.expecting);
}

// A record from entries kept aside; every fault is placed at offset `at`.
template <class R, class... T>
bool read_kept_record(json::Cursor& in, std::vector<KeptEntry>& kept, bool array_form, R& out,
                      const Shape<R, T...>& shape, std::size_t at) {
    auto assign_to = [&](json::Scalar& value) {
        return [&](const auto& f) {
            auto assigned = assign(value, out.*f.member);
            return assigned ? true : in.shape(std::move(assigned.error()), at);
        };
    };
    if (array_form) {
        for (std::size_t i = 0; i < shape.size; ++i) {
            const bool read = shape.with_field(i, [&](const auto& f) {
                if (i < kept.size()) return assign_to(kept[i].value)(f);
                if (f.presence != Presence::Required) return true;
                return in.shape(invalid_length(i, shape.with_all_fields), at);
            });
            if (!read) return false;
        }
        if (kept.size() > shape.size) {
            const std::string expected =
                std::to_string(shape.size) + (shape.size == 1 ? " element" : " elements") + " in sequence";
            return in.shape(invalid_length(kept.size(), expected), at);
        }
        return true;
    }
    std::uint32_t seen = 0;
    for (KeptEntry& entry : kept) {
        const std::size_t index = shape.find(entry.key.view());
        if (index == shape.size) continue;
        if (seen >> index & 1u) return in.shape(duplicate_field(entry.key.view()), at);
        seen |= 1u << index;
        if (!shape.with_field(index, assign_to(entry.value))) return false;
    }
    if (auto missing = shape.first_missing(seen)) return in.shape(missing_field(*missing), at);
    return true;
}

}  // namespace parvello::request
