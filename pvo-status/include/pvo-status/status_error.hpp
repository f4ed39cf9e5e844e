#pragma once
// The error of the status dispatchers and of every reply parser: one message text, shown
// unchanged (no prefix, no suffix).
#include <ostream>
#include <string>
#include <utility>

namespace pvo_status {

struct StatusError {
    std::string message;

    explicit StatusError(std::string text) : message(std::move(text)) {}
    bool operator==(const StatusError&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const StatusError& e) { return out << e.message; }
};

}  // namespace pvo_status
