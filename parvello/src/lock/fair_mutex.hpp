#pragma once
// A fair mutex shared by async tasks and plain threads.
//
// One holder at a time; waiters are served strictly in the order they asked, whether they
// wait by blocking a thread (`lock`) or by handing over a callback (`lock_async`, which the
// server wraps as an awaitable so a waiting task never blocks a thread). When the holder
// lets go, the lock passes straight to the first waiter: nobody can barge in between.
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

namespace parvello {

class FairMutex {
public:
    // Proof of holding the lock; dropping it releases the lock to the next waiter.
    class [[nodiscard]] Guard {
    public:
        Guard(Guard&& other) noexcept : mutex_(std::exchange(other.mutex_, nullptr)) {}
        Guard& operator=(Guard&& other) noexcept;
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        ~Guard() { release(); }

    private:
        friend class FairMutex;
        explicit Guard(FairMutex* mutex) noexcept : mutex_(mutex) {}
        void release() noexcept;

        FairMutex* mutex_;
    };

    // Called exactly once with the lock held.
    using Grant = std::move_only_function<void(Guard)>;

    FairMutex() = default;
    FairMutex(const FairMutex&) = delete;
    FairMutex& operator=(const FairMutex&) = delete;

    // Blocks the calling thread until the lock is its own. Never call it on a thread that
    // runs async tasks: it would stall them.
    Guard lock();

    // Queues `grant`. It runs at once on this thread when the lock is free, otherwise on the
    // thread that releases the lock to it; it should only hand the guard on, not do work.
    void lock_async(Grant grant);

    // The lock when it is free, without queuing; never ahead of a waiter, since the lock is
    // only free with nobody queued.
    std::optional<Guard> try_lock();

    // Runs `read` and returns true when the lock is free, without taking it: nobody can take
    // the lock meanwhile, so `read` sees what the last holder left. False, without running
    // `read`, while someone holds it. `read` must be short and must not touch this lock.
    template <typename Read>
    bool read_if_free(Read&& read) const {
        std::lock_guard lock(state_);
        if (held_) return false;
        std::forward<Read>(read)();
        return true;
    }

    // How many waiters are queued behind the holder.
    std::size_t waiting() const;

private:
    void unlock() noexcept;

    mutable std::mutex state_;
    bool held_ = false;
    std::deque<Grant> queue_;
};

// A value that only the holder of its fair mutex may touch.
template <typename T>
class Guarded {
public:
    class [[nodiscard]] Guard {
    public:
        T& operator*() const noexcept { return *value_; }
        T* operator->() const noexcept { return value_; }

    private:
        friend class Guarded;
        Guard(FairMutex::Guard lock, T* value) noexcept : lock_(std::move(lock)), value_(value) {}

        FairMutex::Guard lock_;
        T* value_;
    };

    using Grant = std::move_only_function<void(Guard)>;

    explicit Guarded(T value) : value_(std::move(value)) {}

    Guard lock() { return Guard(mutex_.lock(), &value_); }

    void lock_async(Grant grant) {
        mutex_.lock_async([this, grant = std::move(grant)](FairMutex::Guard lock) mutable {
            grant(Guard(std::move(lock), &value_));
        });
    }

    std::optional<Guard> try_lock() {
        auto lock = mutex_.try_lock();
        if (!lock) return std::nullopt;
        return Guard(std::move(*lock), &value_);
    }

    // `select(value)` copied out when nobody holds the lock, without queuing for it; none
    // while a holder may be changing the value (wait with `lock` or `lock_async` then).
    template <typename Select>
    auto copy_if_free(Select select) const -> std::optional<std::invoke_result_t<Select&, const T&>> {
        std::optional<std::invoke_result_t<Select&, const T&>> copy;
        mutex_.read_if_free([&] { copy.emplace(select(value_)); });
        return copy;
    }

    std::size_t waiting() const { return mutex_.waiting(); }

private:
    FairMutex mutex_;
    T value_;
};

}  // namespace parvello
