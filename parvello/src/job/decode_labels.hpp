#pragma once
// A job's labels as the bytes to deliver.
#include <cstdint>
#include <expected>
#include <vector>

#include "job/job_error.hpp"
#include "parvello/request.hpp"

namespace parvello {

using LabelPayload = std::vector<std::uint8_t>;

// Every label's `data_base64`, trimmed of Unicode white space and decoded strictly, in list
// order. An empty list gives NoLabels; the first label that does not decode gives
// InvalidBase64 with its position. Blank data decodes to an empty payload.
std::expected<std::vector<LabelPayload>, JobError> decode_labels(const std::vector<JobLabel>& labels);

}  // namespace parvello
