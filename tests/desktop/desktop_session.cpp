#include "desktop_session.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace desktop_e2e {
namespace {

// Starts `argv` with the write end of a fresh pipe as its descriptor 3 and returns the child
// with the first line it writes there (how Xvfb and dbus-daemon say they are ready).
std::pair<Child, std::string> spawn_reporting(std::vector<std::string> args) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        throw std::runtime_error("cannot start " + args[0]);
    }
    Child child(pid);
    std::string line;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(fds[0]);
    if (line.empty()) throw std::runtime_error(args[0] + " did not start");
    return {std::move(child), line};
}

}  // namespace

Child::~Child() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
}

VirtualDisplay::VirtualDisplay() {
    auto [server, number] =
        spawn_reporting({"Xvfb", "-displayfd", "3", "-screen", "0", "1600x1000x24", "-nolisten", "tcp", "-noreset"});
    server_ = std::move(server);
    name_ = ":" + number;
    x_ = XOpenDisplay(name_.c_str());
    if (x_ == nullptr) throw std::runtime_error("cannot open " + name_);
}

VirtualDisplay::~VirtualDisplay() {
    if (x_ != nullptr) XCloseDisplay(x_);
}

SessionBus::SessionBus(const std::filesystem::path& dir) {
    auto [daemon, address] = spawn_reporting({"dbus-daemon", "--session", "--nofork", "--nopidfile",
                                              "--address=unix:path=" + (dir / "bus").string(), "--print-address=3"});
    daemon_ = std::move(daemon);
    address_ = address;
}

constexpr const char* kWatcherXml = R"xml(<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
  </interface>
</node>)xml";

TrayWatcher::TrayWatcher(const std::string& address, bool host) : host_(host) {
    context_ = g_main_context_new();
    loop_ = g_main_loop_new(context_, FALSE);
    // The connection and the exported object dispatch to the watcher's own thread.
    g_main_context_push_thread_default(context_);
    GError* error = nullptr;
    bus_ = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (bus_ == nullptr) throw std::runtime_error(error->message);
    node_ = g_dbus_node_info_new_for_xml(kWatcherXml, nullptr);
    static const GDBusInterfaceVTable vtable = {on_method, on_property, nullptr, {}};
    object_id_ = g_dbus_connection_register_object(bus_, "/StatusNotifierWatcher", node_->interfaces[0], &vtable, this,
                                                   nullptr, nullptr);
    g_main_context_pop_thread_default(context_);
    GVariant* owned =
        g_dbus_connection_call_sync(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                    "RequestName", g_variant_new("(su)", "org.kde.StatusNotifierWatcher", 4u), nullptr,
                                    G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    if (owned == nullptr) throw std::runtime_error("cannot own the watcher's name");
    g_variant_unref(owned);
    thread_ = std::thread([this] {
        g_main_context_push_thread_default(context_);
        g_main_loop_run(loop_);
        g_main_context_pop_thread_default(context_);
    });
}

TrayWatcher::~TrayWatcher() {
    g_main_loop_quit(loop_);
    thread_.join();
    g_dbus_connection_unregister_object(bus_, object_id_);
    g_dbus_connection_close_sync(bus_, nullptr, nullptr);
    g_object_unref(bus_);
    g_dbus_node_info_unref(node_);
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
}

void TrayWatcher::on_method(GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar* method,
                            GVariant* args, GDBusMethodInvocation* invocation, gpointer self) {
    auto* watcher = static_cast<TrayWatcher*>(self);
    if (g_str_equal(method, "RegisterStatusNotifierItem")) {
        const gchar* service = nullptr;
        g_variant_get(args, "(&s)", &service);
        std::lock_guard lock(watcher->mutex_);
        // An item may give its object path instead of a name: it is then found at its sender.
        watcher->items_.push_back(service[0] == '/' ? std::string(sender) : std::string(service));
        watcher->changed_.notify_all();
    }
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant* TrayWatcher::on_property(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                                   GError**, gpointer self) {
    auto* watcher = static_cast<TrayWatcher*>(self);
    if (g_str_equal(name, "IsStatusNotifierHostRegistered")) return g_variant_new_boolean(watcher->host_);
    if (g_str_equal(name, "ProtocolVersion")) return g_variant_new_int32(0);
    GVariantBuilder items;
    g_variant_builder_init(&items, G_VARIANT_TYPE("as"));
    std::lock_guard lock(watcher->mutex_);
    for (const auto& item : watcher->items_) g_variant_builder_add(&items, "s", item.c_str());
    return g_variant_builder_end(&items);
}

std::optional<std::string> TrayWatcher::wait_for_item(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, limit, [this] { return !items_.empty(); })) return std::nullopt;
    return items_.front();
}

GVariant* TrayWatcher::call(const std::string& service, const std::string& path, const std::string& interface,
                            const std::string& method, GVariant* args, std::string* error_text) const {
    GError* error = nullptr;
    GVariant* reply =
        g_dbus_connection_call_sync(bus_, service.c_str(), path.c_str(), interface.c_str(), method.c_str(), args,
                                    nullptr, G_DBUS_CALL_FLAGS_NONE, 20000, nullptr, &error);
    if (reply == nullptr) {
        if (error_text != nullptr) *error_text = error->message;
        g_error_free(error);
    }
    return reply;
}

GVariant* TrayWatcher::get_property(const std::string& service, const std::string& path, const std::string& interface,
                                    const std::string& name) const {
    GVariant* reply = call(service, path, "org.freedesktop.DBus.Properties", "Get",
                           g_variant_new("(ss)", interface.c_str(), name.c_str()));
    if (reply == nullptr) return nullptr;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    g_variant_unref(reply);
    return value;
}

bool TrayWatcher::name_has_owner(const std::string& name) const {
    GVariant* reply = call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                           g_variant_new("(s)", name.c_str()));
    if (reply == nullptr) return false;
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
    return owned;
}

std::vector<MenuEntry> read_menu(const TrayWatcher& watcher, const std::string& service) {
    GVariant* menu_path = watcher.get_property(service, "/StatusNotifierItem", "org.kde.StatusNotifierItem", "Menu");
    if (menu_path == nullptr) return {};
    const std::string path = g_variant_get_string(menu_path, nullptr);
    g_variant_unref(menu_path);
    GVariant* reply = watcher.call(service, path, "com.canonical.dbusmenu", "GetLayout",
                                   g_variant_new("(ii@as)", 0, -1, g_variant_new_strv(nullptr, 0)));
    if (reply == nullptr) return {};
    std::vector<MenuEntry> entries;
    GVariant* root = g_variant_get_child_value(reply, 1);
    GVariant* children = g_variant_get_child_value(root, 2);
    for (gsize i = 0; i < g_variant_n_children(children); ++i) {
        GVariant* boxed = g_variant_get_child_value(children, i);
        GVariant* child = g_variant_get_variant(boxed);
        MenuEntry entry;
        GVariant* props = nullptr;
        g_variant_get(child, "(i@a{sv}av)", &entry.id, &props, nullptr);
        GVariantDict dict;
        g_variant_dict_init(&dict, props);
        const gchar* text = nullptr;
        if (g_variant_dict_lookup(&dict, "type", "&s", &text)) entry.type = text;
        if (g_variant_dict_lookup(&dict, "label", "&s", &text)) entry.label = text;
        if (g_variant_dict_lookup(&dict, "toggle-type", "&s", &text)) entry.toggle_type = text;
        gboolean enabled = TRUE;
        if (g_variant_dict_lookup(&dict, "enabled", "b", &enabled)) entry.enabled = enabled;
        g_variant_dict_lookup(&dict, "toggle-state", "i", &entry.toggle_state);
        g_variant_dict_clear(&dict);
        g_variant_unref(props);
        g_variant_unref(child);
        g_variant_unref(boxed);
        entries.push_back(entry);
    }
    g_variant_unref(children);
    g_variant_unref(root);
    g_variant_unref(reply);
    return entries;
}

void click_menu(const TrayWatcher& watcher, const std::string& service, int id) {
    GVariant* reply = watcher.call(service, "/MenuBar", "com.canonical.dbusmenu", "Event",
                                   g_variant_new("(isvu)", id, "clicked", g_variant_new_int32(0), 0u));
    if (reply != nullptr) g_variant_unref(reply);
}

std::vector<unsigned long> find_windows(Display* x, const std::string& title) {
    std::vector<unsigned long> found;
    Window root_return, parent;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(x, DefaultRootWindow(x), &root_return, &parent, &children, &count)) return found;
    for (unsigned int i = 0; i < count; ++i) {
        char* name = nullptr;
        if (XFetchName(x, children[i], &name) && name != nullptr) {
            if (title == name) found.push_back(children[i]);
            XFree(name);
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

bool is_viewable(Display* x, unsigned long window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(x, window, &attributes) && attributes.map_state == IsViewable;
}

bool is_dialog(Display* x, unsigned long window) {
    const Atom type = XInternAtom(x, "_NET_WM_WINDOW_TYPE", False);
    const Atom dialog = XInternAtom(x, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    Atom actual;
    int format;
    unsigned long items, after;
    unsigned char* data = nullptr;
    bool result = false;
    if (XGetWindowProperty(x, window, type, 0, 16, False, XA_ATOM, &actual, &format, &items, &after, &data) ==
            Success &&
        data != nullptr) {
        const Atom* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < items; ++i) result = result || atoms[i] == dialog;
        XFree(data);
    }
    return result;
}

void request_close(Display* x, unsigned long window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x, window, False, NoEventMask, &event);
    XFlush(x);
}

int light_text_lines(Display* x, unsigned long window, int left, int top, int width, int height) {
    XImage* image = XGetImage(x, window, left, top, width, height, AllPlanes, ZPixmap);
    if (image == nullptr) return -1;
    int bands = 0;
    bool in_band = false;
    for (int row = 0; row < height; ++row) {
        bool light = false;
        for (int col = 0; col < width && !light; ++col) {
            const unsigned long pixel = XGetPixel(image, col, row);
            const unsigned r = (pixel >> 16) & 0xff, g = (pixel >> 8) & 0xff, b = pixel & 0xff;
            light = r > 200 && g > 200 && b > 200;
        }
        if (light && !in_band) ++bands;
        in_band = light;
    }
    XDestroyImage(image);
    return bands;
}

void click_at(Display* x, unsigned long window, int left, int top) {
    int root_x = 0, root_y = 0;
    Window child;
    XTranslateCoordinates(x, window, DefaultRootWindow(x), left, top, &root_x, &root_y, &child);
    XTestFakeMotionEvent(x, -1, root_x, root_y, CurrentTime);
    XTestFakeButtonEvent(x, 1, True, CurrentTime);
    XTestFakeButtonEvent(x, 1, False, CurrentTime);
    XFlush(x);
}

bool eventually(const std::function<bool()>& check, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!check()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

}  // namespace desktop_e2e
