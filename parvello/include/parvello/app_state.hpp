#pragma once
// The agent's shared state: the settings in effect and the lock that serialises device work.
#include <cstdint>
#include <memory>

#include "parvello/config.hpp"
#include "parvello/fair_mutex.hpp"

namespace parvello {

// Cheap to copy: a copy shares both parts. Created once at start-up and never replaced.
//
// `config` is held only to copy a field, or by the start-at-login worker for its save of the
// settings file. `job_lock` is held by every piece of work that opens a device, from before
// its blocking worker starts until the worker's result is in hand. No code holds both.
struct AppState {
    AppState(std::uint16_t port, bool autostart)
        : config(std::make_shared<Guarded<BridgeConfig>>(BridgeConfig{port, autostart})),
          job_lock(std::make_shared<FairMutex>()) {}

    std::shared_ptr<Guarded<BridgeConfig>> config;
    std::shared_ptr<FairMutex> job_lock;
};

}  // namespace parvello
