#include "pvo-util/cpu_features.hpp"

namespace pvo_util {

bool has_avx2() noexcept {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    return has;
#else
    return false;
#endif
}

}  // namespace pvo_util
