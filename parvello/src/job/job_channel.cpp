#include "job/job_channel.hpp"

#include <utility>

namespace parvello {

bool JobEventChannel::send(JobEvent event) {
    std::optional<Receiver> receiver;
    {
        std::lock_guard lock(mutex_);
        if (closed_) return false;
        if (!waiting_) {
            queue_.push_back(std::move(event));
            return true;
        }
        receiver = std::exchange(waiting_, std::nullopt);
    }
    // A waiting receiver means the queue was empty: this event is the oldest.
    (*receiver)(std::move(event));
    return true;
}

void JobEventChannel::close() {
    std::optional<Receiver> receiver;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        receiver = std::exchange(waiting_, std::nullopt);
    }
    if (receiver) (*receiver)(std::nullopt);
}

bool JobEventChannel::is_closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

void JobEventChannel::receive_async(Receiver receiver) {
    std::optional<JobEvent> event;
    {
        std::lock_guard lock(mutex_);
        if (queue_.empty() && !closed_) {
            waiting_.emplace(std::move(receiver));
            return;
        }
        if (!queue_.empty()) {
            event.emplace(std::move(queue_.front()));
            queue_.pop_front();
        }
    }
    receiver(std::move(event));
}

}  // namespace parvello
