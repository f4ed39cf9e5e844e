#include "pvo-log/line_writer.hpp"

#include <utility>

#include <fmt/format.h>

#include "pvo-log/format.hpp"

namespace pvo_log {

LineWriter::LineWriter(FdOutput output, bool ansi, Clock clock, FdOutput report)
    : output_(std::move(output)), ansi_(ansi), clock_(std::move(clock)), report_(std::move(report)) {}

void LineWriter::write(const Event& event) noexcept {
    try {
        const auto line = format_full_line(event, clock_(), ansi_);
        std::lock_guard lock(mutex_);
        if (auto written = output_.write(line); !written) {
            (void)report_.write(fmt::format("log writer: could not write a line: {}\n", written.error().message()));
        }
    } catch (...) {
        // Out of memory while formatting: the line is dropped, logging goes on.
    }
}

}  // namespace pvo_log
