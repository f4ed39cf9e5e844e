#pragma once
// A LabelWriter 550 job split into the parts its delivery sends separately: the preamble
// (ESC s and the header commands), each label (ESC n through ESC G) and the trailer
// (ESC E ESC Q, which must end the job).
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

namespace pvo_client_delivery {

struct Lw550Job {
    std::vector<std::uint8_t> preamble;
    std::vector<std::vector<std::uint8_t>> labels;  // at least one
    std::vector<std::uint8_t> trailer;
    bool operator==(const Lw550Job&) const = default;
};

// Splits a job, or says what is wrong with it at which byte offset (decimal), for example
// "expected ESC E at offset 25", "unexpected header command ESC 0x5a", "job missing label
// data", "label data truncated" or "2 trailing bytes after ESC Q".
std::expected<Lw550Job, std::string> parse_lw550_job(std::span<const std::uint8_t> job);

}  // namespace pvo_client_delivery
