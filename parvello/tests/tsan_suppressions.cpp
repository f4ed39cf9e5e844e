// GLib synchronises its main-context queues with primitives of its own that ThreadSanitizer
// does not see (the system's GLib is not built for it), so a g_idle_add from the log ticker
// thread looks like a race with the loop's own bookkeeping. Reports inside GLib are not ours;
// the agent's hand-over through that queue is guarded by its own lock.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libglib-2.0.so\n";
}
