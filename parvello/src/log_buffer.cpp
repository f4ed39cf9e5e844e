#include "log_buffer.hpp"

#include <utility>

#include "pvo-log/format.hpp"

namespace parvello {

void LogBuffer::push(std::string line) {
    std::lock_guard lock(mutex_);
    if (lines_.size() >= kMaxLines) lines_.pop_front();
    lines_.push_back(std::move(line));
    ++generation_;
}

LogSnapshot LogBuffer::snapshot() const {
    std::lock_guard lock(mutex_);
    return {generation_, {lines_.begin(), lines_.end()}};
}

void LogBuffer::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
    ++generation_;
}

std::uint64_t LogBuffer::generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

LogBufferSink::LogBufferSink(std::shared_ptr<LogBuffer> buffer) : buffer_(std::move(buffer)) {}

void LogBufferSink::write(const pvo_log::Event& event) noexcept {
    try {
        buffer_->push(pvo_log::format_buffer_line(event));
    } catch (...) {
        // Out of memory: the line is dropped, logging goes on.
    }
}

}  // namespace parvello
