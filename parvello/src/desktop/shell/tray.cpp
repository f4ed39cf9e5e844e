#include "desktop/shell/tray.hpp"

#include <gio/gio.h>
#include <libdbusmenu-glib/dbusmenu-glib.h>
#include <unistd.h>

#include <fmt/format.h>

#include "parvello/product.hpp"

namespace parvello::desktop {
namespace {

constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kMenuPath = "/MenuBar";

constexpr const char* kItemXml = R"xml(<node>
  <interface name="org.kde.StatusNotifierItem">
    <property name="Category" type="s" access="read"/>
    <property name="Id" type="s" access="read"/>
    <property name="Title" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="WindowId" type="i" access="read"/>
    <property name="IconName" type="s" access="read"/>
    <property name="IconPixmap" type="a(iiay)" access="read"/>
    <property name="OverlayIconName" type="s" access="read"/>
    <property name="AttentionIconName" type="s" access="read"/>
    <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
    <property name="ItemIsMenu" type="b" access="read"/>
    <property name="Menu" type="o" access="read"/>
    <method name="ContextMenu"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="Activate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="SecondaryActivate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="Scroll"><arg name="delta" type="i" direction="in"/><arg name="orientation" type="s" direction="in"/></method>
    <signal name="NewTitle"/>
    <signal name="NewIcon"/>
    <signal name="NewToolTip"/>
    <signal name="NewStatus"><arg name="status" type="s"/></signal>
  </interface>
</node>)xml";

// The watcher's answer to whether a tray host has registered with it; false for an error.
bool host_registered(GVariant* reply) {
    if (reply == nullptr) return false;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    const bool present = g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
    g_variant_unref(value);
    g_variant_unref(reply);
    return present;
}

GVariant* host_registered_query() { return g_variant_new("(ss)", kWatcherName, "IsStatusNotifierHostRegistered"); }

// True when a tray host has registered with the session's StatusNotifierWatcher. The call is
// never allowed to start a watcher: an absent one answers at once with an error.
bool tray_host_present(GDBusConnection* bus) {
    return host_registered(g_dbus_connection_call_sync(
        bus, kWatcherName, kWatcherPath, "org.freedesktop.DBus.Properties", "Get", host_registered_query(),
        G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr, nullptr));
}

}  // namespace

struct Tray::Impl {
    TrayActions actions;
    std::string tooltip;
    TrayPixmap pixmap;
    GDBusConnection* bus = nullptr;
    GDBusNodeInfo* node = nullptr;
    guint object_id = 0;
    guint name_id = 0;
    guint watch_id = 0;      // follows the owner of the watcher's name
    guint host_signals = 0;  // the watcher's word that a host came or went
    bool host_present = false;
    std::string bus_name;
    DbusmenuServer* menu_server = nullptr;
    DbusmenuMenuitem* root = nullptr;
    DbusmenuMenuitem* start_at_login = nullptr;

    ~Impl() {
        if (watch_id != 0) g_bus_unwatch_name(watch_id);
        if (host_signals != 0) g_dbus_connection_signal_unsubscribe(bus, host_signals);
        if (name_id != 0) g_bus_unown_name(name_id);
        if (object_id != 0) g_dbus_connection_unregister_object(bus, object_id);
        if (menu_server != nullptr) g_object_unref(menu_server);
        if (root != nullptr) g_object_unref(root);
        // The item leaves the bus before the process does.
        if (bus != nullptr) {
            g_dbus_connection_flush_sync(bus, nullptr, nullptr);
            g_object_unref(bus);
        }
        if (node != nullptr) g_dbus_node_info_unref(node);
    }

    GVariant* property(const char* name) const {
        const std::string title(kProductName);
        if (g_str_equal(name, "Category")) return g_variant_new_string("ApplicationStatus");
        if (g_str_equal(name, "Id") || g_str_equal(name, "Title")) return g_variant_new_string(title.c_str());
        if (g_str_equal(name, "Status")) return g_variant_new_string("Active");
        if (g_str_equal(name, "WindowId")) return g_variant_new_int32(0);
        if (g_str_equal(name, "IconName") || g_str_equal(name, "OverlayIconName") ||
            g_str_equal(name, "AttentionIconName"))
            return g_variant_new_string("");
        if (g_str_equal(name, "IconPixmap")) return icon_pixmaps();
        if (g_str_equal(name, "ToolTip"))
            return g_variant_new("(s@a(iiay)ss)", "", g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0),
                                 tooltip.c_str(), "");
        if (g_str_equal(name, "ItemIsMenu")) return g_variant_new_boolean(FALSE);  // left click activates
        if (g_str_equal(name, "Menu")) return g_variant_new_object_path(kMenuPath);
        return nullptr;
    }

    GVariant* icon_pixmaps() const {
        GVariantBuilder builder;
        g_variant_builder_init(&builder, G_VARIANT_TYPE("a(iiay)"));
        GVariant* bytes = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, pixmap.argb.data(), pixmap.argb.size(), 1);
        g_variant_builder_add(&builder, "(ii@ay)", pixmap.width, pixmap.height, bytes);
        return g_variant_builder_end(&builder);
    }

    void set_host_present(bool present) {
        if (present == host_present) return;
        host_present = present;
        actions.tray_host_changed(present);
    }
};

namespace {

void on_method(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant*,
               GDBusMethodInvocation* invocation, gpointer data) {
    auto* impl = static_cast<Tray::Impl*>(data);
    g_dbus_method_invocation_return_value(invocation, nullptr);
    // A left click on the icon; the menu itself is the host's business.
    if (g_str_equal(method, "Activate")) impl->actions.show_window();
}

GVariant* on_get_property(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name, GError** error,
                          gpointer data) {
    GVariant* value = static_cast<Tray::Impl*>(data)->property(name);
    if (value == nullptr) g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s", name);
    return value;
}

constexpr GDBusInterfaceVTable kItemVtable = {on_method, on_get_property, nullptr, {}};

// Asks the watcher whether a host is registered; the answer updates the item's state.
void query_host(Tray::Impl* impl) {
    g_dbus_connection_call(
        impl->bus, kWatcherName, kWatcherPath, "org.freedesktop.DBus.Properties", "Get", host_registered_query(),
        G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr,
        +[](GObject* bus, GAsyncResult* result, gpointer data) {
            GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, nullptr);
            static_cast<Tray::Impl*>(data)->set_host_present(host_registered(reply));
        },
        impl);
}

// A watcher took the name (the first one, or a new one after a restart of the panel): the item
// registers with it, then learns whether a host shows it.
void on_watcher_appeared(GDBusConnection* bus, const gchar*, const gchar*, gpointer data) {
    auto* impl = static_cast<Tray::Impl*>(data);
    g_dbus_connection_call(
        bus, kWatcherName, kWatcherPath, kWatcherName, "RegisterStatusNotifierItem",
        g_variant_new("(s)", impl->bus_name.c_str()), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr,
        +[](GObject* bus, GAsyncResult* result, gpointer data) {
            GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, nullptr);
            auto* impl = static_cast<Tray::Impl*>(data);
            if (reply == nullptr) return impl->set_host_present(false);
            g_variant_unref(reply);
            query_host(impl);
        },
        impl);
}

void on_watcher_vanished(GDBusConnection*, const gchar*, gpointer data) {
    static_cast<Tray::Impl*>(data)->set_host_present(false);
}

// A host registered with the watcher, or left it.
void on_watcher_signal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* member, GVariant*,
                       gpointer data) {
    if (g_str_equal(member, "StatusNotifierHostRegistered") || g_str_equal(member, "StatusNotifierHostUnregistered"))
        query_host(static_cast<Tray::Impl*>(data));
}

// Once the item's name is ours, it follows the watcher: every watcher that appears is told
// where to find the item. The first call comes at once when a watcher is already there.
void on_name_acquired(GDBusConnection* bus, const gchar*, gpointer data) {
    auto* impl = static_cast<Tray::Impl*>(data);
    if (impl->watch_id != 0) return;
    impl->host_signals =
        g_dbus_connection_signal_subscribe(bus, kWatcherName, kWatcherName, nullptr, kWatcherPath, nullptr,
                                           G_DBUS_SIGNAL_FLAGS_NONE, on_watcher_signal, impl, nullptr);
    impl->watch_id = g_bus_watch_name_on_connection(bus, kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                                    on_watcher_appeared, on_watcher_vanished, impl, nullptr);
}

DbusmenuMenuitem* append_item(DbusmenuMenuitem* menu, const std::string& label, bool enabled) {
    DbusmenuMenuitem* item = dbusmenu_menuitem_new();
    dbusmenu_menuitem_property_set(item, DBUSMENU_MENUITEM_PROP_LABEL, label.c_str());
    dbusmenu_menuitem_property_set_bool(item, DBUSMENU_MENUITEM_PROP_ENABLED, enabled);
    dbusmenu_menuitem_child_append(menu, item);
    g_object_unref(item);  // the menu holds it
    return item;
}

void append_separator(DbusmenuMenuitem* menu) {
    DbusmenuMenuitem* item = dbusmenu_menuitem_new();
    dbusmenu_menuitem_property_set(item, DBUSMENU_MENUITEM_PROP_TYPE, DBUSMENU_CLIENT_TYPES_SEPARATOR);
    dbusmenu_menuitem_child_append(menu, item);
    g_object_unref(item);
}

template <auto Member>
void connect_action(DbusmenuMenuitem* item, Tray::Impl* impl) {
    g_signal_connect(item, DBUSMENU_MENUITEM_SIGNAL_ITEM_ACTIVATED,
                     G_CALLBACK(+[](DbusmenuMenuitem*, guint, gpointer data) {
                         (static_cast<Tray::Impl*>(data)->actions.*Member)();
                     }),
                     impl);
}

// The check mark flips on the click itself; the action is told the new state.
void on_start_at_login(DbusmenuMenuitem* item, guint, gpointer data) {
    const bool checked = dbusmenu_menuitem_property_get_int(item, DBUSMENU_MENUITEM_PROP_TOGGLE_STATE) ==
                         DBUSMENU_MENUITEM_TOGGLE_STATE_CHECKED;
    dbusmenu_menuitem_property_set_int(
        item, DBUSMENU_MENUITEM_PROP_TOGGLE_STATE,
        checked ? DBUSMENU_MENUITEM_TOGGLE_STATE_UNCHECKED : DBUSMENU_MENUITEM_TOGGLE_STATE_CHECKED);
    static_cast<Tray::Impl*>(data)->actions.start_at_login(!checked);
}

void build_menu(Tray::Impl& impl, const std::string& status_item, bool autostart) {
    impl.root = dbusmenu_menuitem_new();
    append_item(impl.root, status_item, false);
    append_separator(impl.root);
    connect_action<&TrayActions::show_window>(append_item(impl.root, "Show window", true), &impl);
    connect_action<&TrayActions::open_vestra>(append_item(impl.root, "Open Vestra in browser", true), &impl);
    impl.start_at_login = append_item(impl.root, "Start at login", true);
    dbusmenu_menuitem_property_set(impl.start_at_login, DBUSMENU_MENUITEM_PROP_TOGGLE_TYPE,
                                   DBUSMENU_MENUITEM_TOGGLE_CHECK);
    dbusmenu_menuitem_property_set_int(
        impl.start_at_login, DBUSMENU_MENUITEM_PROP_TOGGLE_STATE,
        autostart ? DBUSMENU_MENUITEM_TOGGLE_STATE_CHECKED : DBUSMENU_MENUITEM_TOGGLE_STATE_UNCHECKED);
    g_signal_connect(impl.start_at_login, DBUSMENU_MENUITEM_SIGNAL_ITEM_ACTIVATED, G_CALLBACK(on_start_at_login),
                     &impl);
    append_separator(impl.root);
    connect_action<&TrayActions::quit>(append_item(impl.root, "Quit", true), &impl);
}

}  // namespace

Tray::Tray(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Tray::~Tray() = default;

bool Tray::host_present() const { return impl_->host_present; }

std::expected<std::unique_ptr<Tray>, DesktopError> Tray::create(const TrayTexts& texts, bool autostart,
                                                                TrayActions actions) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (bus == nullptr) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->bus = bus;
    impl->host_present = tray_host_present(bus);

    auto pixmap = load_tray_icon();
    if (!pixmap) return std::unexpected(pixmap.error());
    impl->pixmap = std::move(*pixmap);
    impl->actions = std::move(actions);
    impl->tooltip = texts.tooltip;
    build_menu(*impl, texts.status_item, autostart);

    impl->menu_server = dbusmenu_server_new(kMenuPath);
    dbusmenu_server_set_root(impl->menu_server, impl->root);

    GError* error = nullptr;
    impl->node = g_dbus_node_info_new_for_xml(kItemXml, &error);
    if (impl->node != nullptr)
        impl->object_id = g_dbus_connection_register_object(bus, kItemPath, impl->node->interfaces[0], &kItemVtable,
                                                            impl.get(), nullptr, &error);
    if (impl->object_id == 0) {
        DesktopError failure{fmt::format("tray icon: {}", error->message)};
        g_error_free(error);
        return std::unexpected(failure);
    }
    impl->bus_name = fmt::format("org.kde.StatusNotifierItem-{}-1", ::getpid());
    impl->name_id = g_bus_own_name_on_connection(bus, impl->bus_name.c_str(), G_BUS_NAME_OWNER_FLAGS_NONE,
                                                 on_name_acquired, nullptr, impl.get(), nullptr);
    return std::unique_ptr<Tray>(new Tray(std::move(impl)));
}

}  // namespace parvello::desktop
