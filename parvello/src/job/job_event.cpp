#include "job/job_event.hpp"

#include <nlohmann/json.hpp>

#include "pvo-status/status_json.hpp"

namespace parvello {
namespace {

// Keys stay in insertion order, so "type" comes first. A status report is converted from the
// sorted-key JSON that pvo_status builds, which keeps its sorted order.
using Object = nlohmann::ordered_json;

Object fields(const JobEvent::Progress& e) {
    return {{"type", "progress"},           {"phase", e.phase},
            {"batch_index", e.batch_index}, {"batch_total", e.batch_total},
            {"label_index", e.label_index}, {"label_total", e.label_total}};
}

Object fields(const JobEvent::Status& e) {
    return {{"type", "status"}, {"status", Object(pvo_status::to_json(e.status))}};
}

Object fields(const JobEvent::LabelDone& e) { return {{"type", "label_done"}, {"index", e.index}, {"total", e.total}}; }

Object fields(const JobEvent::Done& e) { return {{"type", "done"}, {"completed", e.completed}, {"total", e.total}}; }

Object fields(const JobEvent::Error& e) { return {{"type", "error"}, {"message", e.message}}; }

}  // namespace

std::string JobEvent::serialize() const {
    const Object json = std::visit([](const auto& e) { return fields(e); }, value);
    return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace parvello
