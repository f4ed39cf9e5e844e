#include "lock/async_lock.hpp"

#include <vector>

namespace parvello {

void LockWaitRegistry::add(const std::shared_ptr<PendingLockWait>& wait) {
    {
        std::lock_guard lock(mutex_);
        if (!shut_down_) {
            std::erase_if(waits_, [](const auto& w) { return w.expired(); });
            waits_.push_back(wait);
            return;
        }
    }
    wait->abandon();
}

void LockWaitRegistry::shutdown() {
    std::vector<std::shared_ptr<PendingLockWait>> waits;
    {
        std::lock_guard lock(mutex_);
        shut_down_ = true;
        for (const auto& w : waits_) {
            if (auto wait = w.lock()) waits.push_back(std::move(wait));
        }
        waits_.clear();
    }
    for (const auto& wait : waits) wait->abandon();
}

}  // namespace parvello
