#pragma once
// The in-memory log: the last lines of the run, shared by the logging stack (which pushes
// through `LogBufferSink`) and the desktop's log page (which takes snapshots and clears it).
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "pvo-log/writer.hpp"

namespace parvello {

struct LogSnapshot {
    std::uint64_t generation = 0;
    std::vector<std::string> lines;  // oldest first
};

// A ring of at most `kMaxLines` lines under one mutex. `generation` grows by one on every push
// and every clear and is never reset, so a reader can tell whether anything changed.
class LogBuffer {
public:
    static constexpr std::size_t kMaxLines = 500;

    // Appends a line, dropping the oldest one when the buffer is full.
    void push(std::string line);
    LogSnapshot snapshot() const;
    void clear();
    std::uint64_t generation() const;

private:
    mutable std::mutex mutex_;
    std::deque<std::string> lines_;
    std::uint64_t generation_ = 0;
};

// The last writer of the logging stack: pushes each event as a buffer line ("[LEVEL] target:
// message", see pvo-log/format.hpp), formatted before the buffer's lock is taken.
class LogBufferSink final : public pvo_log::Writer {
public:
    explicit LogBufferSink(std::shared_ptr<LogBuffer> buffer);

    void write(const pvo_log::Event& event) noexcept override;

private:
    std::shared_ptr<LogBuffer> buffer_;
};

}  // namespace parvello
