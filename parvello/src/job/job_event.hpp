#pragma once
// One report of a running print job, and its JSON text.
#include <cstdint>
#include <string>
#include <variant>

#include "pvo-status/print_status.hpp"

namespace parvello {

struct JobEvent {
    // A phase of the current label; the runner fills all four positions.
    struct Progress {
        std::string phase;
        std::uint32_t batch_index = 0;
        std::uint32_t batch_total = 0;
        std::uint32_t label_index = 0;
        std::uint32_t label_total = 0;
        bool operator==(const Progress&) const = default;
    };
    // A printer status report made during delivery.
    struct Status {
        pvo_status::PrintStatus status;
        bool operator==(const Status&) const = default;
    };
    // `index` is the number of labels finished so far.
    struct LabelDone {
        std::uint32_t index = 0;
        std::uint32_t total = 0;
        bool operator==(const LabelDone&) const = default;
    };
    struct Done {
        std::uint32_t completed = 0;
        std::uint32_t total = 0;
        bool operator==(const Done&) const = default;
    };
    // The message of a delivery procedure that failed.
    struct Error {
        std::string message;
        bool operator==(const Error&) const = default;
    };

    std::variant<Progress, Status, LabelDone, Done, Error> value;

    // Compact JSON, "type" first and the other keys in the order above, for example
    // {"type":"label_done","index":1,"total":2}. A status is embedded as its report object with
    // the keys sorted. Texts that are not valid UTF-8 are written with U+FFFD in their place.
    std::string serialize() const;

    bool operator==(const JobEvent&) const = default;
};

}  // namespace parvello
