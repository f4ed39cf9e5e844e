#include "memory_policy.hpp"

#include <malloc.h>

namespace parvello {

bool cap_allocator_arenas() { return ::mallopt(M_ARENA_MAX, kAllocatorArenas) == 1; }

}  // namespace parvello
