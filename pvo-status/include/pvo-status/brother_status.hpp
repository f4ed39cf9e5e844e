#pragma once
// Brother QL label printers and PT tape printers answer the status request ESC i S with a
// 32-byte status reply. These parsers turn it into a report: the decoded fields, the errors,
// a one-line summary with its severity, and the readiness that follows from the summary.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>

#include "pvo-status/print_status.hpp"
#include "pvo-status/status_error.hpp"

namespace pvo_status {

// The size of a Brother status reply; bytes after it are ignored.
inline constexpr std::size_t brother_status_reply_size = 32;

// A reply that is too short or does not start with 80 20 42 is refused; any code inside an
// accepted reply decodes (to "unknown" or a fallback text), never refuses.
std::expected<BrotherQl, StatusError> parse_brother_ql_status(std::span<const std::uint8_t> reply);
std::expected<BrotherPt, StatusError> parse_brother_pt_status(std::span<const std::uint8_t> reply);

}  // namespace pvo_status
