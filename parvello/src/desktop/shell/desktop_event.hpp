#pragma once
// The desktop loop's own events and the handle other threads post them through.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace parvello::desktop {

enum class DesktopEvent : std::uint8_t {
    RefreshLogs = 0,  // push new log lines to the log page if the buffer changed
    ClearLogs = 1,    // empty the log buffer and the page
};

// Posts events into the main loop from any thread; each posted event reaches the handler on
// the loop's thread, in posting order. Copies share one channel. Once the loop is gone
// (`close`), every send fails, so a thread that posts forever knows when to stop.
class EventProxy {
public:
    using Handler = std::function<void(DesktopEvent)>;

    // `handler` runs on the thread of the default GLib main context.
    explicit EventProxy(Handler handler);

    // False when the loop is gone.
    bool send(DesktopEvent event) const;
    // Ends the channel: later sends fail and events still queued are dropped.
    void close() const;

    struct Channel;

private:
    std::shared_ptr<Channel> channel_;
};

inline constexpr std::chrono::milliseconds kLogTickerPeriod{400};

// Posts RefreshLogs at once and then every `period`, until posting fails.
void log_ticker(EventProxy proxy, std::chrono::milliseconds period = kLogTickerPeriod);

// A text posted by the log page: "clear" posts ClearLogs (its result is of no interest);
// anything else is ignored.
void on_ipc_message(const EventProxy& proxy, std::string_view message);

}  // namespace parvello::desktop
