#pragma once
// How much freed memory the agent's allocator may keep.
#include <cstddef>

namespace parvello {

// The most heaps glibc may keep for the agent's threads.
inline constexpr int kAllocatorArenas = 2;
// Blocks up to this size come from the heaps, larger ones straight from the system.
inline constexpr std::size_t kAllocatorMmapThreshold = 8 * 1024 * 1024;
// Free memory at the top of a heap is given back to the system only beyond this much.
inline constexpr std::size_t kAllocatorTrimThreshold = 16 * 1024 * 1024;

// Called once at start, before any thread is made. A print job holds a few buffers of
// megabytes (the request body, the label text, the decoded label) for the length of the job.
// glibc keeps freed memory in the heap of the thread that used it and, left to itself, makes
// a heap for nearly every thread, so after large jobs the agent would hold a job's worth of
// megabytes per thread. Capped, the freed pages stay in a couple of heaps and serve the next
// job as they are. Left to its own thresholds glibc also gives a job's buffers back to the
// system after every job, and the next job faults every page in again: for a label of 1.5 MB
// that costs several times the job's own work. So buffers of a usual job stay in the heaps
// and up to a few jobs' worth of freed memory is kept; a block beyond the mmap threshold (a
// very large WebSocket job) still goes back to the system when it is freed.
// Returns false when the allocator refused a setting.
bool apply_allocator_policy();

// Gives the free memory of every heap back to the system, whatever the trim threshold: for
// one-time work at start (the built-in catalog's parse) whose scratch memory no job reuses.
void release_free_heap_memory();

}  // namespace parvello
