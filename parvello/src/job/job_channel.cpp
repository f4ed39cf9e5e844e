#include "job/job_channel.hpp"

#include <utility>

namespace parvello {

JobEventChannel::JobEventChannel(std::function<void()> on_ready) : on_ready_(std::move(on_ready)) {}

bool JobEventChannel::send(JobEvent event) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return false;
        queue_.push_back(std::move(event));
    }
    ready_.notify_one();
    if (on_ready_) on_ready_();
    return true;
}

void JobEventChannel::close() {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        closed_ = true;
    }
    ready_.notify_all();
    if (on_ready_) on_ready_();
}

bool JobEventChannel::is_closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

std::optional<JobEvent> JobEventChannel::try_receive() {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) return std::nullopt;
    JobEvent event = std::move(queue_.front());
    queue_.pop_front();
    return event;
}

std::optional<JobEvent> JobEventChannel::receive() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return !queue_.empty() || closed_; });
    if (queue_.empty()) return std::nullopt;
    JobEvent event = std::move(queue_.front());
    queue_.pop_front();
    return event;
}

}  // namespace parvello
