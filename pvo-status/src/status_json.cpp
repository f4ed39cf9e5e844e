#include "pvo-status/status_json.hpp"

#include <nlohmann/json.hpp>

namespace pvo_status {

// Each family writes its own report (`report_json` beside its parser). nlohmann::json objects
// are std::maps keyed by std::string, so every object, nested ones included, comes out with
// its keys in byte-wise order whatever the insertion order.
nlohmann::json to_json(const PrintStatus& status) {
    return std::visit([](const auto& report) { return report_json(report); }, status);
}

std::string to_json_text(const PrintStatus& status) {
    // Texts are already valid UTF-8; the replacing handler only guards against a future field
    // that skips `json_text`.
    return to_json(status).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace pvo_status
