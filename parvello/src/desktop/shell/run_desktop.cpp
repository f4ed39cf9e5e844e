// The desktop shell on GTK 3 and WebKitGTK: one window with the designer above the live log,
// the tray item, and the main loop that carries the log refreshes.
#include "desktop/shell/run_desktop.hpp"

#include <gtk/gtk.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "desktop/shell/browser.hpp"
#include "desktop/shell/desktop_event.hpp"
#include "desktop/shell/layout.hpp"
#include "desktop/shell/log_page.hpp"
#include "desktop/shell/tray.hpp"
#include "parvello/product.hpp"

namespace parvello::desktop {
namespace {

constexpr const char* kTarget = "parvello::desktop";
constexpr int kWindowWidth = 1200;
constexpr int kWindowHeight = 800;

// Gives the log page `window.ipc.postMessage(text)`, which hands the text to the program.
constexpr const char* kIpcScript =
    "window.ipc = Object.freeze({ postMessage: function (text) {"
    " window.webkit.messageHandlers.ipc.postMessage(String(text)); } });";

// Everything the loop's handlers use. Built once and kept until the process ends.
struct Shell {
    const pvo_desktop_host* host = nullptr;
    bool show_at_start = true;
    GtkWidget* window = nullptr;
    GtkWidget* layout = nullptr;
    WebKitWebContext* web_context = nullptr;
    WebKitWebView* designer_view = nullptr;
    WebKitWebView* log_view = nullptr;
    std::unique_ptr<Tray> tray;
    // Whether a tray host can bring a hidden window back right now.
    bool has_tray_host = false;
    // The window is shown only because the tray was missing; it goes back to the tray when a
    // tray host appears, unless the user has asked for it in the meantime.
    bool shown_for_tray = false;
    std::optional<EventProxy> proxy;
    std::uint64_t last_generation = 0;
    std::optional<WebviewLayout> applied;
};

void log_line(const Shell& shell, int level, const char* message) {
    shell.host->log(shell.host->context, level, kTarget, message);
}

// Ends the process from inside the loop. The HTTP thread, jobs in progress and start-at-login
// workers are not waited for; the tray item leaves the bus first.
[[noreturn]] void end_process(Shell& shell, int code) {
    if (shell.proxy) shell.proxy->close();
    shell.tray.reset();
    std::fflush(nullptr);
    ::_exit(code);
}

void show_window(GtkWidget* window) {
    gtk_widget_show(window);
    GdkWindow* surface = gtk_widget_get_window(window);
    if (!gtk_widget_get_visible(window) || surface == nullptr) return;
    // A minimized window stays minimized; a visible one in the background comes forward.
    if ((gdk_window_get_state(surface) & GDK_WINDOW_STATE_ICONIFIED) != 0) return;
    if (!gtk_window_is_active(GTK_WINDOW(window))) gtk_window_present(GTK_WINDOW(window));
}

void apply_layout(Shell& shell, const WebviewLayout& layout) {
    if (shell.applied == layout) return;
    shell.applied = layout;
    auto place = [&](WebKitWebView* view, const Bounds& b) {
        gtk_layout_move(GTK_LAYOUT(shell.layout), GTK_WIDGET(view), static_cast<int>(b.x), static_cast<int>(b.y));
        gtk_widget_set_size_request(GTK_WIDGET(view), static_cast<int>(b.width), static_cast<int>(b.height));
    };
    place(shell.designer_view, layout.designer);
    place(shell.log_view, layout.log);
}

// The client area in physical pixels and its scale, as the layout wants them.
WebviewLayout current_layout(GtkWidget* area, int logical_width, int logical_height) {
    const int scale = gtk_widget_get_scale_factor(area);
    return layout_webviews(double(logical_width) * scale, double(logical_height) * scale, scale);
}

void on_area_resized(GtkWidget* area, GdkRectangle* allocation, gpointer data) {
    apply_layout(*static_cast<Shell*>(data), current_layout(area, allocation->width, allocation->height));
}

void on_scale_changed(GtkWidget* area, GParamSpec*, gpointer data) {
    apply_layout(*static_cast<Shell*>(data),
                 current_layout(area, gtk_widget_get_allocated_width(area), gtk_widget_get_allocated_height(area)));
}

gboolean on_close_requested(GtkWidget* window, GdkEvent*, gpointer data) {
    auto& shell = *static_cast<Shell*>(data);
    // Without a tray a hidden window could never come back, so closing it quits instead.
    if (!shell.has_tray_host) end_process(shell, 0);
    shell.shown_for_tray = false;
    gtk_widget_hide(window);
    return TRUE;
}

void run_script(WebKitWebView* view, const std::string& script) {
    webkit_web_view_evaluate_javascript(view, script.c_str(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                        nullptr, nullptr, nullptr);
}

void refresh_logs(Shell& shell) {
    std::vector<std::string> lines;
    const auto add_line = [](void* user, const char* text, std::size_t size) {
        static_cast<std::vector<std::string>*>(user)->emplace_back(text, size);
    };
    const std::uint64_t generation = shell.host->log_snapshot(shell.host->context, add_line, &lines);
    if (generation == shell.last_generation) return;
    shell.last_generation = generation;
    run_script(shell.log_view, set_logs_script(lines));
}

void clear_logs(Shell& shell) {
    shell.host->log_clear(shell.host->context);
    shell.last_generation = 0;
    run_script(shell.log_view, std::string(kClearLogsScript));
}

void on_desktop_event(Shell& shell, DesktopEvent event) {
    switch (event) {
        case DesktopEvent::RefreshLogs:
            refresh_logs(shell);
            break;
        case DesktopEvent::ClearLogs:
            clear_logs(shell);
            break;
    }
}

void on_page_message(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
    auto& shell = *static_cast<Shell*>(data);
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!jsc_value_is_string(value)) return;
    gchar* text = jsc_value_to_string(value);
    on_ipc_message(*shell.proxy, text);
    g_free(text);
}

// Scripts run before the page has loaded reach nothing; once it has, the next tick sends the
// whole buffer again, so lines logged while the page was loading are not lost.
void on_log_page_load(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    if (event == WEBKIT_LOAD_FINISHED) static_cast<Shell*>(data)->last_generation = 0;
}

gboolean on_loop_started(gpointer data) {
    auto& shell = *static_cast<Shell*>(data);
    log_line(shell, PVO_DESKTOP_LOG_INFO, "desktop shell ready");
    if (shell.show_at_start) show_window(shell.window);
    return G_SOURCE_REMOVE;
}

std::expected<void, DesktopError> build_web_views(Shell& shell, const WebviewLayout& layout) {
    if (shell.host->webview_data_dir == nullptr)
        return std::unexpected(DesktopError{"could not resolve a writable WebView data directory"});
    const std::filesystem::path data_dir(shell.host->webview_data_dir);
    std::error_code ec;
    std::filesystem::create_directories(data_dir, ec);
    if (ec) return std::unexpected(DesktopError{ec.message()});

    const std::string base = data_dir.string();
    const std::string cache = (data_dir / "cache").string();
    WebKitWebsiteDataManager* data = webkit_website_data_manager_new("base-data-directory", base.c_str(),
                                                                     "base-cache-directory", cache.c_str(), nullptr);
    shell.web_context = webkit_web_context_new_with_website_data_manager(data);
    g_object_unref(data);

    shell.designer_view =
        WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", shell.web_context, nullptr));
    webkit_web_view_load_uri(shell.designer_view, shell.host->designer_url);

    WebKitUserContentManager* content = webkit_user_content_manager_new();
    webkit_user_content_manager_add_script(
        content, webkit_user_script_new(kIpcScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr));
    if (!webkit_user_content_manager_register_script_message_handler(content, "ipc"))
        return std::unexpected(DesktopError{"failed to create log webview: no message channel"});
    g_signal_connect(content, "script-message-received::ipc", G_CALLBACK(on_page_message), &shell);
    shell.log_view = WEBKIT_WEB_VIEW(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", shell.web_context, "user-content-manager", content, nullptr));
    g_object_unref(content);
    g_signal_connect(shell.log_view, "load-changed", G_CALLBACK(on_log_page_load), &shell);
    webkit_web_view_load_html(shell.log_view, log_page_html(kProductName).c_str(), nullptr);

    gtk_layout_put(GTK_LAYOUT(shell.layout), GTK_WIDGET(shell.designer_view), 0, 0);
    gtk_layout_put(GTK_LAYOUT(shell.layout), GTK_WIDGET(shell.log_view), 0, 0);
    apply_layout(shell, layout);
    return {};
}

// The user asked for the window: it is theirs now, whatever the tray does.
void show_window_for_user(Shell& shell) {
    shell.shown_for_tray = false;
    show_window(shell.window);
}

// A tray host came or went. Without one a hidden window could never come back, so it is
// shown; once one is back, a window shown only for that returns to the tray.
void on_tray_host_changed(Shell& shell, bool present) {
    shell.has_tray_host = present;
    if (present) {
        log_line(shell, PVO_DESKTOP_LOG_INFO, "tray host on the session bus: the tray item is registered");
        if (shell.shown_for_tray) gtk_widget_hide(shell.window);
        shell.shown_for_tray = false;
        return;
    }
    log_line(shell, PVO_DESKTOP_LOG_WARN,
             "the tray host left the session bus: the window is shown and closing it quits");
    if (gtk_widget_get_visible(shell.window)) return;
    shell.shown_for_tray = true;
    show_window(shell.window);
}

TrayActions tray_actions(Shell& shell) {
    return {
        .show_window = [&shell] { show_window_for_user(shell); },
        .open_vestra = [&shell] { (void)open_in_browser(shell.host->designer_url); },
        .start_at_login = [&shell](bool enabled) { shell.host->start_at_login(shell.host->context, enabled); },
        .quit = [&shell] { end_process(shell, 0); },
        .tray_host_changed = [&shell](bool present) { on_tray_host_changed(shell, present); },
    };
}

}  // namespace

std::expected<void, DesktopError> run_desktop(const pvo_desktop_host& host) {
    if (!gtk_init_check(nullptr, nullptr))
        return std::unexpected(DesktopError{"could not open a display for the desktop window"});

    // Once the loop runs the shell lives until the process ends: its handlers hold on to it.
    auto owned = std::make_unique<Shell>();
    auto& shell = *owned;
    shell.host = &host;
    shell.show_at_start = host.show_at_start != 0;

    const std::string title(kProductName);
    shell.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(shell.window), title.c_str());
    gtk_window_set_default_size(GTK_WINDOW(shell.window), kWindowWidth, kWindowHeight);
    g_signal_connect(shell.window, "delete-event", G_CALLBACK(on_close_requested), &shell);
    // A plain layout area: it places the views where told and asks for no size of its own, so
    // the window stays freely resizable.
    shell.layout = gtk_layout_new(nullptr, nullptr);
    gtk_container_add(GTK_CONTAINER(shell.window), shell.layout);
    g_signal_connect(shell.layout, "size-allocate", G_CALLBACK(on_area_resized), &shell);
    g_signal_connect(shell.layout, "notify::scale-factor", G_CALLBACK(on_scale_changed), &shell);

    if (auto views = build_web_views(shell, current_layout(shell.window, kWindowWidth, kWindowHeight)); !views)
        return views;

    const bool autostart = host.autostart(host.context) != 0;
    auto tray = Tray::create(TrayTexts{host.status_item, host.tooltip}, autostart, tray_actions(shell));
    if (!tray) return std::unexpected(tray.error());
    shell.tray = std::move(*tray);
    shell.has_tray_host = shell.tray != nullptr && shell.tray->host_present();
    if (!shell.has_tray_host) {
        log_line(shell, PVO_DESKTOP_LOG_WARN,
                 "no tray host on the session bus: the window stays shown and closing it quits");
        shell.shown_for_tray = !shell.show_at_start;
        shell.show_at_start = true;
    }

    gtk_widget_show_all(shell.layout);
    if (shell.show_at_start) gtk_widget_show(shell.window);

    shell.proxy.emplace([&shell](DesktopEvent event) { on_desktop_event(shell, event); });
    std::thread(log_ticker, *shell.proxy, kLogTickerPeriod).detach();

    g_idle_add(on_loop_started, &shell);
    (void)owned.release();
    gtk_main();
    end_process(shell, 0);
}

}  // namespace parvello::desktop
