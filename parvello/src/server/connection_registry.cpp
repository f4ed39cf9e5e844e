#include "server/connection_registry.hpp"

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <tuple>
#include <utility>

namespace parvello {

// One listed connection.
struct RegistryEntry {
    RegistryEntry(ConnectionRegistry::ThreadPost post, std::uint64_t since)
        : post(std::move(post)), waiting_since(since) {}

    ConnectionRegistry::ThreadPost post;
    std::function<void()> shut_down;  // set by the task that holds the slot
    // When the connection began waiting on its client, as a registry-wide count (older is
    // smaller); 0 while it does not wait. Changed by the connection's task alone, twice
    // per request, so without the registry's lock; read under the lock.
    std::atomic<std::uint64_t> waiting_since;
    bool shutting_down = false;
    bool websocket = false;  // a page's job channel, closed only when no plain one waits
};

struct RegistryState : std::enable_shared_from_this<RegistryState> {
    using Entry = RegistryEntry;

    explicit RegistryState(std::size_t cap) : max_connections(cap) {}

    // Holds `mutex`. The shutdown runs on the connection's own thread, where its task cannot be
    // dropping the slot or closing the socket meanwhile; it is skipped when the slot has gone
    // by then. (Shutting a descriptor down from here instead could hit a descriptor that the
    // stream's own time limit has closed and the system has handed to someone else.)
    bool shut_down_longest_waiting() {
        std::uint64_t longest_id = 0;
        Entry* longest = nullptr;
        // Ordered by (kind, time): any waiting plain HTTP connection before any WebSocket.
        const auto waits_longer = [](const Entry& a, const Entry& b) {
            if (a.websocket != b.websocket) return !a.websocket;
            return a.waiting_since.load(std::memory_order_relaxed) < b.waiting_since.load(std::memory_order_relaxed);
        };
        for (auto& [id, entry] : entries) {
            if (entry.shutting_down || entry.waiting_since.load(std::memory_order_relaxed) == 0) continue;
            if (!longest || waits_longer(entry, *longest)) {
                longest = &entry;
                longest_id = id;
            }
        }
        if (!longest) return false;
        longest->shutting_down = true;
        --open;
        longest->post([weak = weak_from_this(), id = longest_id] {
            const auto state = weak.lock();
            if (!state) return;
            std::function<void()> shut_down;
            {
                std::lock_guard lock(state->mutex);
                const auto entry = state->entries.find(id);
                if (entry == state->entries.end()) return;
                shut_down = entry->second.shut_down;
            }
            if (shut_down) shut_down();
        });
        return true;
    }

    const std::size_t max_connections;
    std::mutex mutex;
    std::map<std::uint64_t, Entry> entries;  // by id, which is never reused; entries stay in place
    std::size_t open = 0;
    std::uint64_t next_id = 0;
    std::atomic<std::uint64_t> clock = 0;
};

ConnectionSlot::ConnectionSlot(ConnectionSlot&& other) noexcept
    : state_(std::move(other.state_)), id_(std::exchange(other.id_, 0)), entry_(std::exchange(other.entry_, nullptr)) {
    on_shut_down({});
}

ConnectionSlot& ConnectionSlot::operator=(ConnectionSlot&& other) noexcept {
    if (this != &other) {
        release();
        state_ = std::move(other.state_);
        id_ = std::exchange(other.id_, 0);
        entry_ = std::exchange(other.entry_, nullptr);
        on_shut_down({});
    }
    return *this;
}

void ConnectionSlot::on_shut_down(std::function<void()> shut_down) {
    if (!state_) return;
    std::lock_guard lock(state_->mutex);
    entry_->shut_down = std::move(shut_down);
}

void ConnectionSlot::serve_websocket() {
    if (!state_) return;
    std::lock_guard lock(state_->mutex);
    entry_->websocket = true;
}

ConnectionSlot::~ConnectionSlot() { release(); }

void ConnectionSlot::release() noexcept {
    if (!state_) return;
    {
        std::lock_guard lock(state_->mutex);
        const auto entry = state_->entries.find(id_);
        if (!entry->second.shutting_down) --state_->open;
        state_->entries.erase(entry);
    }
    state_.reset();
    id_ = 0;
    entry_ = nullptr;
}

void ConnectionSlot::set_waiting(bool waiting) {
    if (!state_) return;
    // Only this connection's task changes its mark; the registry reads it under its lock, and
    // a mark that changes just after the registry read it is no different from one that
    // changes just after a shutdown was chosen.
    auto& since = entry_->waiting_since;
    if (!waiting) {
        since.store(0, std::memory_order_relaxed);
    } else if (since.load(std::memory_order_relaxed) == 0) {
        since.store(state_->clock.fetch_add(1, std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }
}

ConnectionSlot::Waiting::Waiting(ConnectionSlot& slot) : slot_(slot) { slot_.set_waiting(true); }

ConnectionSlot::Waiting::~Waiting() { slot_.set_waiting(false); }

ConnectionRegistry::ConnectionRegistry(std::size_t max_connections)
    : state_(std::make_shared<RegistryState>(max_connections)) {}

std::optional<ConnectionSlot> ConnectionRegistry::admit(ThreadPost post, bool make_room) {
    std::uint64_t id = 0;
    RegistryEntry* entry = nullptr;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->open >= state_->max_connections) {
            if (!state_->shut_down_longest_waiting()) return std::nullopt;
        } else if (make_room) {
            state_->shut_down_longest_waiting();
        }
        ++state_->open;
        id = ++state_->next_id;
        // A new connection waits on its client from the start, before its task has run at all.
        const auto since = state_->clock.fetch_add(1, std::memory_order_relaxed) + 1;
        entry = &state_->entries
                     .emplace(std::piecewise_construct, std::forward_as_tuple(id),
                              std::forward_as_tuple(std::move(post), since))
                     .first->second;
    }
    // Outside the lock: moving the slot into its place takes the lock itself.
    return ConnectionSlot(state_, id, entry);
}

bool ConnectionRegistry::shut_down_longest_waiting() {
    std::lock_guard lock(state_->mutex);
    return state_->shut_down_longest_waiting();
}

}  // namespace parvello
