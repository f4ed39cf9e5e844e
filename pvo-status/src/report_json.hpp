#pragma once
// The pieces every report's JSON is made of. Every text of a report goes through `json_text`:
// device replies may hold any bytes, and a JSON string must be valid UTF-8.
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "pvo-status/readiness.hpp"
#include "pvo-status/status_words.hpp"
#include "pvo-util/text.hpp"

namespace pvo_status {

inline nlohmann::json json_text(const std::string& value) { return pvo_util::utf8_lossy(value); }

inline nlohmann::json json_optional_text(const std::optional<std::string>& value) {
    return value ? json_text(*value) : nlohmann::json(nullptr);
}

template <typename Word>
nlohmann::json json_words(const std::vector<Word>& values) {
    nlohmann::json list = nlohmann::json::array();
    for (Word w : values) list.push_back(word(w));
    return list;
}

// {"ready_to_print": ..., "reason": ...}, the reason left out when absent.
inline nlohmann::json json_readiness(const Readiness& r) {
    nlohmann::json out = {{"ready_to_print", r.ready_to_print}};
    if (r.reason) out["reason"] = json_text(*r.reason);
    return out;
}

}  // namespace pvo_status
