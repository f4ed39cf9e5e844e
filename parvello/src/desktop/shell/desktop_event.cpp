#include "desktop/shell/desktop_event.hpp"

#include <glib.h>

#include <mutex>
#include <thread>

#include "desktop/shell/log_page.hpp"

namespace parvello::desktop {

struct EventProxy::Channel {
    bool open = true;  // guarded by `handoff`
    Handler handler;
};

namespace {

// Guards every channel's state and each posted event on its way through the GLib queue. GLib
// synchronises its queue with primitives of its own; taking this lock on both sides makes the
// hand-over explicit to the language's memory model (and to ThreadSanitizer).
std::mutex handoff;

struct Posted {
    std::shared_ptr<EventProxy::Channel> channel;
    DesktopEvent event;
};

gboolean deliver(gpointer data) {
    auto* posted = static_cast<Posted*>(data);
    bool open = false;
    {
        std::lock_guard lock(handoff);
        open = posted->channel->open;
    }
    // The handler runs without the lock, so it may post further events itself.
    if (open) posted->channel->handler(posted->event);
    return G_SOURCE_REMOVE;
}

void release(gpointer data) {
    std::lock_guard lock(handoff);
    delete static_cast<Posted*>(data);
}

}  // namespace

EventProxy::EventProxy(Handler handler) : channel_(std::make_shared<Channel>()) {
    channel_->handler = std::move(handler);
}

bool EventProxy::send(DesktopEvent event) const {
    std::lock_guard lock(handoff);
    if (!channel_->open) return false;
    // g_idle_add is safe from any thread and wakes the default context.
    g_idle_add_full(G_PRIORITY_DEFAULT, deliver, new Posted{channel_, event}, release);
    return true;
}

void EventProxy::close() const {
    std::lock_guard lock(handoff);
    channel_->open = false;
}

void log_ticker(EventProxy proxy, std::chrono::milliseconds period) {
    while (proxy.send(DesktopEvent::RefreshLogs)) std::this_thread::sleep_for(period);
}

void on_ipc_message(const EventProxy& proxy, std::string_view message) {
    if (is_clear_request(message)) (void)proxy.send(DesktopEvent::ClearLogs);
}

}  // namespace parvello::desktop
