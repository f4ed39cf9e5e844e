#include "parvello/memory_policy.hpp"

#include <malloc.h>

namespace parvello {

bool return_large_buffers_on_free() {
    // Setting the threshold also turns glibc's dynamic raising of it off.
    return ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(kOwnMappingBytes)) == 1;
}

}  // namespace parvello
