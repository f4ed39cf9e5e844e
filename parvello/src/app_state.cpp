#include "parvello/app_state.hpp"

#include "lock/fair_mutex.hpp"

namespace parvello {

AppState::AppState(std::uint16_t port, bool autostart)
    : config(std::make_shared<Guarded<BridgeConfig>>(BridgeConfig{port, autostart})),
      job_lock(std::make_shared<FairMutex>()) {}

}  // namespace parvello
