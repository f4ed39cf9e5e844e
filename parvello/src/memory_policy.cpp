#include "memory_policy.hpp"

#include <malloc.h>

namespace parvello {

bool apply_allocator_policy() {
    const bool arenas = ::mallopt(M_ARENA_MAX, kAllocatorArenas) == 1;
    const bool mmap = ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(kAllocatorMmapThreshold)) == 1;
    const bool trim = ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(kAllocatorTrimThreshold)) == 1;
    return arenas && mmap && trim;
}

void release_free_heap_memory() { ::malloc_trim(0); }

}  // namespace parvello
