#pragma once
// The agent's shared state: the settings in effect and the lock that serialises device work.
// Code that locks either part includes "lock/fair_mutex.hpp", where the lock lives beside its
// awaitable form; this header only names it, so it stays light for the server's callers.
#include <cstdint>
#include <memory>

#include "parvello/config.hpp"

namespace parvello {

class FairMutex;
template <typename T>
class Guarded;

// Cheap to copy: a copy shares both parts. Created once at start-up and never replaced.
//
// `config` is held only to copy a field, or by the start-at-login worker for its save of the
// settings file. `job_lock` is held by every piece of work that opens a device, from before
// its blocking worker starts until the worker's result is in hand. No code holds both.
struct AppState {
    AppState(std::uint16_t port, bool autostart);

    std::shared_ptr<Guarded<BridgeConfig>> config;
    std::shared_ptr<FairMutex> job_lock;
};

}  // namespace parvello
