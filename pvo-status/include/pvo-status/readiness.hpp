#pragma once
// Whether a printer can take a job now: the readiness that each family's parser computes when
// it builds its report.
#include <optional>
#include <string>
#include <utility>

namespace pvo_status {

// Whether a printer can take a job now. A ready printer has no reason; a printer that is not
// ready may name why with a word chosen by its family's parser.
struct Readiness {
    bool ready_to_print = false;
    std::optional<std::string> reason;

    static Readiness ready() { return {true, std::nullopt}; }
    static Readiness not_ready(std::string reason) { return {false, std::move(reason)}; }
    bool operator==(const Readiness&) const = default;
};

}  // namespace pvo_status
