#include "lock/fair_mutex.hpp"

#include <future>

namespace parvello {

FairMutex::Guard& FairMutex::Guard::operator=(Guard&& other) noexcept {
    if (this != &other) {
        release();
        mutex_ = std::exchange(other.mutex_, nullptr);
    }
    return *this;
}

void FairMutex::Guard::release() noexcept {
    if (auto* mutex = std::exchange(mutex_, nullptr)) mutex->unlock();
}

FairMutex::Guard FairMutex::lock() {
    // The waiter's promise lives in the queue, so the releasing thread never touches this
    // thread's stack, even when this thread wakes and returns at once.
    std::promise<Guard> granted;
    auto guard = granted.get_future();
    lock_async([granted = std::move(granted)](Guard g) mutable { granted.set_value(std::move(g)); });
    return guard.get();
}

void FairMutex::lock_async(Grant grant) {
    {
        std::lock_guard lock(state_);
        if (held_) {
            queue_.push_back(std::move(grant));
            return;
        }
        held_ = true;
    }
    grant(Guard(this));
}

std::optional<FairMutex::Guard> FairMutex::try_lock() {
    std::lock_guard lock(state_);
    if (held_) return std::nullopt;
    held_ = true;
    return Guard(this);
}

std::size_t FairMutex::waiting() const {
    std::lock_guard lock(state_);
    return queue_.size();
}

void FairMutex::unlock() noexcept {
    Grant next;
    {
        std::lock_guard lock(state_);
        if (queue_.empty()) {
            held_ = false;
            return;
        }
        // Ownership passes directly to the first waiter: `held_` stays set.
        next = std::move(queue_.front());
        queue_.pop_front();
    }
    next(Guard(this));
}

}  // namespace parvello
