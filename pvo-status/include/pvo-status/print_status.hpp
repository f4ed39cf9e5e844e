#pragma once
// The one status report of the agent: whatever printer family answered, its reply becomes one
// of these variants. Each report is declared, parsed and written as JSON in its family's own
// files; a new family adds its report here and its row to the table in status_families.cpp.
#include <variant>

#include "pvo-status/brother_status.hpp"
#include "pvo-status/device_id.hpp"
#include "pvo-status/dymo_status.hpp"
#include "pvo-status/gpgl_status.hpp"
#include "pvo-status/letratag_status.hpp"
#include "pvo-status/niimbot_status.hpp"
#include "pvo-status/readiness.hpp"
#include "pvo-status/zpl_status.hpp"

namespace pvo_status {

using PrintStatus =
    std::variant<DymoLw, Dymo, DymoLwClassic, BrotherQl, BrotherPt, Zpl, UsbPrinterId, Niimbot, Gpgl, LetraTag>;

}  // namespace pvo_status
