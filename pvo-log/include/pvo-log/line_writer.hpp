#pragma once
// The console and log-file writer: each event as one full line (format.hpp), written whole
// with one write call under the writer's mutex, so lines of different threads never mix.
#include <mutex>

#include "pvo-log/output.hpp"
#include "pvo-log/writer.hpp"

namespace pvo_log {

class LineWriter final : public Writer {
public:
    // A line that cannot be written is dropped after a one-line notice on `report`.
    LineWriter(FdOutput output, bool ansi, Clock clock = system_clock(), FdOutput report = FdOutput::standard_error());

    void write(const Event& event) noexcept override;

private:
    std::mutex mutex_;
    FdOutput output_;
    bool ansi_;
    Clock clock_;
    FdOutput report_;
};

}  // namespace pvo_log
