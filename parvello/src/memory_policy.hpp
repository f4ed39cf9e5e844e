#pragma once
// How much freed memory the agent's allocator may keep.

namespace parvello {

// The most heaps glibc may keep for the agent's threads.
inline constexpr int kAllocatorArenas = 2;

// Called once at start, before any thread is made. A print job holds a few buffers of
// megabytes (the request body, the label text, the decoded label) for the length of the job.
// glibc keeps freed memory in the heap of the thread that used it and, left to itself, makes
// a heap for nearly every thread, so after large jobs the agent would hold a job's worth of
// megabytes per thread. Capped, the freed pages stay in a couple of heaps and serve the next
// job as they are (giving them back on every free would cost a page fault per page per job).
// Returns false when the allocator refused the setting.
bool cap_allocator_arenas();

}  // namespace parvello
