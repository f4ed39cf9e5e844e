#pragma once
// A private desktop for the agent: a virtual X server, a session bus of its own, and a
// StatusNotifierWatcher played by the test, plus the X and D-Bus look-ups the tests make.
#include <gio/gio.h>
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

typedef struct _XDisplay Display;

namespace desktop_e2e {

using namespace std::chrono_literals;

// A child process (Xvfb, dbus-daemon) ended with SIGTERM when dropped.
class Child {
public:
    Child() = default;
    explicit Child(pid_t pid) : pid_(pid) {}
    Child(Child&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}
    Child& operator=(Child&& other) noexcept {
        std::swap(pid_, other.pid_);
        return *this;
    }
    ~Child();

private:
    pid_t pid_ = -1;
};

// Xvfb on a free display number.
class VirtualDisplay {
public:
    VirtualDisplay();
    ~VirtualDisplay();
    const std::string& name() const { return name_; }
    Display* x() const { return x_; }

private:
    Child server_;
    std::string name_;
    Display* x_ = nullptr;
};

// A private session bus.
class SessionBus {
public:
    explicit SessionBus(const std::filesystem::path& dir);
    const std::string& address() const { return address_; }

private:
    Child daemon_;
    std::string address_;
};

// Plays the StatusNotifierWatcher (with a host registered when `host` is true) on its own
// thread, and gives the test a connection for calls as a desktop shell would make them.
class TrayWatcher {
public:
    TrayWatcher(const std::string& address, bool host);
    ~TrayWatcher();

    // Waits for an item to register; returns its service name.
    std::optional<std::string> wait_for_item(std::chrono::milliseconds limit = 30s);
    GDBusConnection* bus() const { return bus_; }

    // Sync call; null on error (the error text in `error`).
    GVariant* call(const std::string& service, const std::string& path, const std::string& interface,
                   const std::string& method, GVariant* args, std::string* error = nullptr) const;
    GVariant* get_property(const std::string& service, const std::string& path, const std::string& interface,
                           const std::string& name) const;
    bool name_has_owner(const std::string& name) const;

private:
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    GDBusConnection* bus_ = nullptr;
    GDBusNodeInfo* node_ = nullptr;
    guint object_id_ = 0;
    bool host_ = false;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> items_;

    static void on_method(GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar* method,
                          GVariant* args, GDBusMethodInvocation* invocation, gpointer self);
    static GVariant* on_property(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                                 GError**, gpointer self);
};

// One entry of the exported menu, as a desktop shell reads it.
struct MenuEntry {
    int id = 0;
    std::string type;  // "separator" or empty
    std::string label;
    bool enabled = true;
    std::string toggle_type;
    int toggle_state = -1;
};
std::vector<MenuEntry> read_menu(const TrayWatcher& watcher, const std::string& service);
void click_menu(const TrayWatcher& watcher, const std::string& service, int id);

// Top-level X windows titled `title`.
std::vector<unsigned long> find_windows(Display* x, const std::string& title);
bool is_viewable(Display* x, unsigned long window);
bool is_dialog(Display* x, unsigned long window);
// Asks the window to close, as a window manager's close button does.
void request_close(Display* x, unsigned long window);
// Number of bands of rows holding light text (every channel above 200) in the given part of
// the window: lines of log text on the dark log page, whose placeholder is grey.
int light_text_lines(Display* x, unsigned long window, int left, int top, int width, int height);
// Presses and releases the first mouse button at a point of the window.
void click_at(Display* x, unsigned long window, int left, int top);
// Polls `check` until it holds or `limit` passes.
bool eventually(const std::function<bool()>& check, std::chrono::milliseconds limit = 30s);

}  // namespace desktop_e2e
