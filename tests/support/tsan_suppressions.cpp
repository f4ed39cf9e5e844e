// GLib synchronises its threads with primitives of its own that ThreadSanitizer does not see
// (the system's GLib is not built for it): a g_idle_add from the desktop's log ticker thread,
// or umockdev's test-bed worker reading what the test set up, looks like a race with the other
// thread. Reports inside GLib are not ours; the agent's hand-over through GLib's queue is
// guarded by its own lock.
//
// Asio counts the owners of a type-erased executor too large to store inline (each
// connection's strand) with a release decrement followed by an acquire fence; ThreadSanitizer
// does not model fences, so the last owner's delete looks like a race with the others'
// decrements.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libglib-2.0.so\n"
           "race:boost::asio::execution::detail::shared_target_executor\n";
}
