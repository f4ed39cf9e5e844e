#pragma once
// Typed reading of the keys of one TOML table, with the catalog's rules: exact keys, defaults
// for absent keys, strict types (an integer widens to a float, nothing else converts), exact
// words, integer ranges. The first fault of a document is kept with its place; after a fault
// the getters still return (default) values, and the caller checks `Faults` once at the end.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <toml++/toml.h>

namespace pvo_catalog::detail {

// The first fault of one document.
class Faults {
public:
    bool any() const noexcept { return first_.has_value(); }
    const std::string& first() const { return *first_; }
    // Keeps the fault unless an earlier one is already kept. `at` gives the line and column.
    void add(const toml::node* at, std::string_view path, std::string_view what);

private:
    std::optional<std::string> first_;
};

// The TOML name of a value's type, with its article: "a string", "an integer", ...
std::string_view type_name(const toml::node& node) noexcept;

class TableFields {
public:
    TableFields(Faults& faults, const toml::table& table, std::string path)
        : faults_(faults), table_(table), path_(std::move(path)) {}

    const std::string& path() const noexcept { return path_; }
    std::string path_of(std::string_view key) const;
    bool has(std::string_view key) const { return table_.contains(key); }
    Faults& faults() const noexcept { return faults_; }

    std::string text(std::string_view key);
    std::optional<std::string> optional_text(std::string_view key);
    // An array of strings; absent is a fault when required, otherwise the empty list.
    std::vector<std::string> texts(std::string_view key, bool required);
    double number(std::string_view key);
    std::optional<double> optional_number(std::string_view key);
    bool flag(std::string_view key, bool fallback);
    // An integer within [min, max]; absent gives nothing (a fault when required).
    std::optional<std::int64_t> integer(std::string_view key, std::int64_t min, std::int64_t max, bool required);
    // A string equal to one of `words`; absent gives `fallback`, or a fault when it has none.
    template <typename E, std::size_t N>
    E word(std::string_view key, const std::array<std::string_view, N>& words, std::optional<E> fallback) {
        return static_cast<E>(
            word_index(key, words.data(), N,
                       fallback ? std::optional<std::size_t>(static_cast<std::size_t>(*fallback)) : std::nullopt));
    }
    // A sub-table or an array; null when absent (a fault when required) or of another type.
    const toml::table* table(std::string_view key, bool required);
    const toml::array* array(std::string_view key, bool required);

    // Records a fault at this table or at one of its keys.
    void fail(std::string_view what);
    void fail_at(std::string_view key, std::string_view what);

private:
    std::optional<std::string> optional_text(std::string_view key, bool required);
    std::optional<double> optional_number(std::string_view key, bool required);
    const toml::node* present(std::string_view key, bool required);
    void wrong_type(std::string_view key, const toml::node& node, std::string_view expected);
    std::size_t word_index(std::string_view key, const std::string_view* words, std::size_t count,
                           std::optional<std::size_t> fallback);

    Faults& faults_;
    const toml::table& table_;
    std::string path_;
};

// "unknown variant `x`, expected one of `a`, `b`" (or "expected `a` or `b`" for two words).
std::string unknown_word(std::string_view text, const std::string_view* words, std::size_t count);

}  // namespace pvo_catalog::detail
