#pragma once
// The logging stack: one filter in front of writers called in order. Installed once per
// process; from then on `pvo_log::enabled` and `pvo_log::emit` (log.hpp) go through it.
#include <expected>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pvo-log/filter.hpp"
#include "pvo-log/writer.hpp"

namespace pvo_log {

class Stack {
public:
    Stack(Filter filter, std::vector<std::unique_ptr<Writer>> writers);

    bool enabled(Level level, std::string_view target, const Span* span = nullptr) const noexcept;

    // Hands the event to every writer in order when the filter lets it pass.
    void emit(const Event& event) const noexcept;

private:
    Filter filter_;
    std::vector<std::unique_ptr<Writer>> writers_;
};

struct InstallError {
    std::string message() const { return "failed to set global default subscriber"; }
};

// Makes `stack` the process's logging stack for the rest of the run. Only the first install
// succeeds; a stack cannot be replaced.
std::expected<void, InstallError> install(std::unique_ptr<Stack> stack);

}  // namespace pvo_log
