#pragma once
// The JSON form of a printer status report: one object tagged by "protocol", with the keys of
// every object sorted byte-wise. Texts that are not valid UTF-8 are decoded lossily first, so
// neither the value nor its dump can fail.
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "pvo-status/print_status.hpp"

namespace pvo_status {

nlohmann::json to_json(const PrintStatus& status);

// The compact text of `to_json`: no spaces or line breaks, non-ASCII kept as UTF-8.
std::string to_json_text(const PrintStatus& status);

}  // namespace pvo_status
