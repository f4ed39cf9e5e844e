#include "toml_fields.hpp"

#include <string>

namespace pvo_catalog::detail {

void Faults::add(const toml::node* at, std::string_view path, std::string_view what) {
    if (first_) return;
    std::string text(path.empty() ? std::string_view("document") : path);
    text.append(": ").append(what);
    if (at != nullptr && at->source().begin) {
        const auto& begin = at->source().begin;
        text.append(" at line ")
            .append(std::to_string(begin.line))
            .append(", column ")
            .append(std::to_string(begin.column));
    }
    first_ = std::move(text);
}

std::string_view type_name(const toml::node& node) noexcept {
    switch (node.type()) {
        case toml::node_type::table:
            return "a table";
        case toml::node_type::array:
            return "an array";
        case toml::node_type::string:
            return "a string";
        case toml::node_type::integer:
            return "an integer";
        case toml::node_type::floating_point:
            return "a float";
        case toml::node_type::boolean:
            return "a boolean";
        case toml::node_type::date:
            return "a date";
        case toml::node_type::time:
            return "a time";
        case toml::node_type::date_time:
            return "a date-time";
        case toml::node_type::none:
            break;
    }
    return "nothing";
}

std::string unknown_word(std::string_view text, const std::string_view* words, std::size_t count) {
    std::string error = "unknown variant `";
    error.append(text).append("`, expected one of ");
    for (std::size_t i = 0; i < count; ++i) {
        if (i != 0) error += ", ";
        error.append("`").append(words[i]).append("`");
    }
    return error;
}

std::string TableFields::path_of(std::string_view key) const {
    std::string path = path_;
    if (!path.empty()) path += '.';
    return path.append(key);
}

void TableFields::fail(std::string_view what) { faults_.add(&table_, path_, what); }

void TableFields::fail_at(std::string_view key, std::string_view what) {
    faults_.add(table_.get(key), path_of(key), what);
}

const toml::node* TableFields::present(std::string_view key, bool required) {
    const toml::node* node = table_.get(key);
    if (node == nullptr && required) fail("missing key `" + std::string(key) + "`");
    return node;
}

void TableFields::wrong_type(std::string_view key, const toml::node& node, std::string_view expected) {
    std::string what = "invalid type: ";
    what.append(type_name(node)).append(", expected ").append(expected);
    faults_.add(&node, path_of(key), what);
}

std::string TableFields::text(std::string_view key) { return optional_text(key, true).value_or(std::string{}); }

std::optional<std::string> TableFields::optional_text(std::string_view key) { return optional_text(key, false); }

std::optional<std::string> TableFields::optional_text(std::string_view key, bool required) {
    const toml::node* node = present(key, required);
    if (node == nullptr) return std::nullopt;
    if (const auto* s = node->as_string()) return s->get();
    wrong_type(key, *node, "a string");
    return std::nullopt;
}

std::vector<std::string> TableFields::texts(std::string_view key, bool required) {
    std::vector<std::string> out;
    const toml::array* items = array(key, required);
    if (items == nullptr) return out;
    out.reserve(items->size());
    for (std::size_t i = 0; i < items->size(); ++i) {
        const toml::node& item = *items->get(i);
        if (const auto* s = item.as_string()) {
            out.push_back(s->get());
        } else {
            std::string what = "invalid type: ";
            what.append(type_name(item)).append(", expected a string");
            faults_.add(&item, path_of(key) + "[" + std::to_string(i) + "]", what);
        }
    }
    return out;
}

double TableFields::number(std::string_view key) { return optional_number(key, true).value_or(0.0); }

std::optional<double> TableFields::optional_number(std::string_view key) { return optional_number(key, false); }

std::optional<double> TableFields::optional_number(std::string_view key, bool required) {
    const toml::node* node = present(key, required);
    if (node == nullptr) return std::nullopt;
    if (const auto* f = node->as_floating_point()) return f->get();
    // The one widening of the catalog: an integer stands for the float of the same value.
    if (const auto* i = node->as_integer()) return static_cast<double>(i->get());
    wrong_type(key, *node, "a float");
    return std::nullopt;
}

bool TableFields::flag(std::string_view key, bool fallback) {
    const toml::node* node = present(key, false);
    if (node == nullptr) return fallback;
    if (const auto* b = node->as_boolean()) return b->get();
    wrong_type(key, *node, "a boolean");
    return fallback;
}

std::optional<std::int64_t> TableFields::integer(std::string_view key, std::int64_t min, std::int64_t max,
                                                 bool required) {
    const toml::node* node = present(key, required);
    if (node == nullptr) return std::nullopt;
    const auto* i = node->as_integer();
    if (i == nullptr) {
        wrong_type(key, *node, "an integer");
        return std::nullopt;
    }
    const std::int64_t value = i->get();
    if (value < min || value > max) {
        faults_.add(node, path_of(key),
                    "invalid value: " + std::to_string(value) + ", expected an integer from " + std::to_string(min) +
                        " to " + std::to_string(max));
        return std::nullopt;
    }
    return value;
}

std::size_t TableFields::word_index(std::string_view key, const std::string_view* words, std::size_t count,
                                    std::optional<std::size_t> fallback) {
    const toml::node* node = present(key, !fallback.has_value());
    if (node == nullptr) return fallback.value_or(0);
    const auto* s = node->as_string();
    if (s == nullptr) {
        wrong_type(key, *node, "a string");
        return fallback.value_or(0);
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (words[i] == s->get()) return i;
    }
    faults_.add(node, path_of(key), unknown_word(s->get(), words, count));
    return fallback.value_or(0);
}

const toml::table* TableFields::table(std::string_view key, bool required) {
    const toml::node* node = present(key, required);
    if (node == nullptr) return nullptr;
    if (const auto* t = node->as_table()) return t;
    wrong_type(key, *node, "a table");
    return nullptr;
}

const toml::array* TableFields::array(std::string_view key, bool required) {
    const toml::node* node = present(key, required);
    if (node == nullptr) return nullptr;
    if (const auto* a = node->as_array()) return a;
    wrong_type(key, *node, "an array");
    return nullptr;
}

}  // namespace pvo_catalog::detail
