#pragma once
// How the agent's allocator gives memory back to the system.
#include <cstddef>

namespace parvello {

// Buffers at least this large are mapped on their own and unmapped when freed.
inline constexpr std::size_t kOwnMappingBytes = 256 * 1024;

// Called once at start, before any thread is made. A print job holds a few buffers of
// megabytes (the request body, the label text, the decoded label) for the length of the job.
// Left to itself, glibc raises its mapping threshold to the largest buffer freed so far, so
// after the first large job those buffers come from the heap of whichever thread ran it and
// stay there, one heap per thread: the agent would keep tens of megabytes it no longer uses.
// A fixed threshold keeps every such buffer a mapping of its own that goes back on free.
// Returns false when the allocator refused the setting.
bool return_large_buffers_on_free();

}  // namespace parvello
