#include "job/decode_labels.hpp"
#include "parvello/base64.hpp"
#include "pvo-util/text.hpp"

namespace parvello {

std::expected<std::vector<LabelPayload>, JobError> decode_labels(const std::vector<JobLabel>& labels) {
    if (labels.empty()) return std::unexpected(JobError::no_labels());
    std::vector<LabelPayload> payloads;
    payloads.reserve(labels.size());
    for (std::size_t i = 0; i < labels.size(); ++i) {
        auto bytes = decode_base64(pvo_util::trim_unicode_white_space(labels[i].data_base64.view()));
        if (!bytes) return std::unexpected(JobError::invalid_base64(i, std::move(bytes.error())));
        payloads.push_back(std::move(*bytes));
    }
    return payloads;
}

}  // namespace parvello
