#pragma once
// The ZPL host status (the answer to "~HS"): STX/ETX-framed lines of comma-separated fields.
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "pvo-status/readiness.hpp"
#include "pvo-status/status_error.hpp"

namespace pvo_status {

// ZPL host status: its flags and the reply's lines in reply order.
struct Zpl {
    bool paper_out = false;
    bool pause = false;
    bool head_open = false;
    bool corrupt_ram = false;
    std::vector<std::string> raw_lines;
    Readiness readiness;
    bool operator==(const Zpl&) const = default;
};

// The JSON object of the report, tagged "zpl".
nlohmann::json report_json(const Zpl& report);

// Refuses a reply without any complete STX...ETX line; a line with too few fields is read
// with the missing flags false.
std::expected<Zpl, StatusError> parse_zpl_host_status(std::span<const std::uint8_t> reply);

}  // namespace pvo_status
