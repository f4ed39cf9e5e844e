#include "server/connection_registry.hpp"

#include <map>
#include <mutex>
#include <utility>

#include "server/os_limits.hpp"

namespace parvello {

struct RegistryState {
    struct Entry {
        int descriptor = -1;
        // When the connection began waiting on its client, as a registry-wide count (older is
        // smaller); 0 while it does not wait.
        std::uint64_t waiting_since = 0;
        bool shut_down = false;
    };

    explicit RegistryState(std::size_t cap) : max_connections(cap) {}

    // Holds `mutex`. An entry stays listed until its slot is dropped, so its descriptor is
    // still open whenever it is shut down here.
    bool shut_down_longest_waiting() {
        Entry* longest = nullptr;
        for (auto& [id, entry] : entries) {
            if (entry.shut_down || entry.waiting_since == 0) continue;
            if (!longest || entry.waiting_since < longest->waiting_since) longest = &entry;
        }
        if (!longest) return false;
        shut_down_socket(longest->descriptor);
        longest->shut_down = true;
        --open;
        return true;
    }

    const std::size_t max_connections;
    std::mutex mutex;
    std::map<std::uint64_t, Entry> entries;  // by id, which is never reused
    std::size_t open = 0;
    std::uint64_t next_id = 0;
    std::uint64_t clock = 0;
};

ConnectionSlot::ConnectionSlot(ConnectionSlot&& other) noexcept
    : state_(std::move(other.state_)), id_(std::exchange(other.id_, 0)) {}

ConnectionSlot& ConnectionSlot::operator=(ConnectionSlot&& other) noexcept {
    if (this != &other) {
        release();
        state_ = std::move(other.state_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

ConnectionSlot::~ConnectionSlot() { release(); }

void ConnectionSlot::release() noexcept {
    if (!state_) return;
    {
        std::lock_guard lock(state_->mutex);
        const auto entry = state_->entries.find(id_);
        if (!entry->second.shut_down) --state_->open;
        state_->entries.erase(entry);
    }
    state_.reset();
    id_ = 0;
}

void ConnectionSlot::set_waiting(bool waiting) {
    if (!state_) return;
    std::lock_guard lock(state_->mutex);
    auto& entry = state_->entries.at(id_);
    if (!waiting) {
        entry.waiting_since = 0;
    } else if (entry.waiting_since == 0) {
        entry.waiting_since = ++state_->clock;
    }
}

ConnectionSlot::Waiting::Waiting(ConnectionSlot& slot) : slot_(slot) { slot_.set_waiting(true); }

ConnectionSlot::Waiting::~Waiting() { slot_.set_waiting(false); }

ConnectionRegistry::ConnectionRegistry(std::size_t max_connections)
    : state_(std::make_shared<RegistryState>(max_connections)) {}

std::optional<ConnectionSlot> ConnectionRegistry::admit(int descriptor, bool make_room) {
    std::lock_guard lock(state_->mutex);
    if (state_->open >= state_->max_connections) {
        if (!state_->shut_down_longest_waiting()) return std::nullopt;
    } else if (make_room) {
        state_->shut_down_longest_waiting();
    }
    ++state_->open;
    const std::uint64_t id = ++state_->next_id;
    // A new connection waits on its client from the start, before its task has run at all.
    state_->entries.emplace(id, RegistryState::Entry{descriptor, ++state_->clock, false});
    return ConnectionSlot(state_, id);
}

bool ConnectionRegistry::shut_down_longest_waiting() {
    std::lock_guard lock(state_->mutex);
    return state_->shut_down_longest_waiting();
}

}  // namespace parvello
