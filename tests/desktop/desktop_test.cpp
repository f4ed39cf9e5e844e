// The desktop shell of the built agent on a virtual X server with a private session bus.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "agent_process.hpp"
#include "desktop_session.hpp"

namespace desktop_e2e {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

// A loopback HTTP server that records the request target of every request and answers with a
// small page: the designer's stand-in.
class PageServer {
public:
    PageServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd_, 16) != 0)
            throw std::runtime_error("listen");
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~PageServer() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    unsigned short port() const { return port_; }
    std::vector<std::string> targets() {
        std::lock_guard lock(mutex_);
        return targets_;
    }

private:
    void serve() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::read(client, buffer, sizeof buffer);
                if (n <= 0) break;
                request.append(buffer, static_cast<std::size_t>(n));
            }
            const auto first = request.find(' ');
            const auto second = request.find(' ', first + 1);
            if (first != std::string::npos && second != std::string::npos) {
                std::lock_guard lock(mutex_);
                targets_.push_back(request.substr(first + 1, second - first - 1));
            }
            const std::string body = "<!DOCTYPE html><title>designer</title><p>designer</p>";
            const std::string reply =
                "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\nConnection: close\r\n\r\n" + body;
            (void)::write(client, reply.data(), reply.size());
            ::close(client);
        }
    }

    int fd_ = -1;
    unsigned short port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> targets_;
};

class Desktop : public ::testing::Test {
protected:
    Desktop() : bus_(sandbox_.root()) {
        fs::create_directories(bin_dir());
        // The one stand-in: a browser opener that records its arguments, one per line.
        const fs::path opener = bin_dir() / "xdg-open";
        std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" << browser_log().string() << ".part\" && mv \""
                              << browser_log().string() << ".part\" \"" << browser_log().string() << "\"\n";
        fs::permissions(opener, fs::perms::owner_all);
    }

    fs::path bin_dir() const { return sandbox_.root() / "bin"; }
    fs::path browser_log() const { return sandbox_.root() / "browser-args"; }
    fs::path system_autostart() const { return sandbox_.root() / "xdg-system" / "autostart" / "parvello.desktop"; }
    fs::path user_autostart() const { return sandbox_.root() / "config" / "autostart" / "parvello.desktop"; }

    std::vector<std::string> environment(std::map<std::string, std::string> extra = {}, bool with_display = true) {
        std::map<std::string, std::string> vars{
            {"DBUS_SESSION_BUS_ADDRESS", bus_.address()},
            {"XDG_CONFIG_DIRS", (sandbox_.root() / "xdg-system").string()},
            {"XDG_RUNTIME_DIR", sandbox_.root().string()},
            {"PATH", bin_dir().string() + ":" + std::getenv("PATH")},
            {"NO_AT_BRIDGE", "1"},
            // WebKit in a virtual machine without a GPU, run by root in CI: no sandbox, no
            // accelerated compositing, software GL. Only the tests set these.
            {"WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1"},
            {"WEBKIT_DISABLE_COMPOSITING_MODE", "1"},
            {"LIBGL_ALWAYS_SOFTWARE", "1"},
            {"LSAN_OPTIONS", std::string("suppressions=") + DESKTOP_SANITIZER_DIR "/lsan.supp"},
            {"UBSAN_OPTIONS",
             std::string("print_stacktrace=1:halt_on_error=1:suppressions=") + DESKTOP_SANITIZER_DIR "/ubsan.supp"},
        };
        if (with_display) vars["DISPLAY"] = display_.name();
        for (auto& [k, v] : extra) vars[k] = v;
        return sandbox_.environment(vars);
    }

    std::vector<unsigned long> agent_windows() { return find_windows(display_.x(), "parvello"); }
    // The agent's window that is shown, or 0.
    unsigned long shown_window() {
        for (auto w : agent_windows())
            if (is_viewable(display_.x(), w)) return w;
        return 0;
    }
    bool window_shown() { return shown_window() != 0; }

    e2e::Sandbox sandbox_;
    VirtualDisplay display_;
    SessionBus bus_;
};

constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";

int entry_id(const std::vector<MenuEntry>& menu, const std::string& label) {
    for (const auto& e : menu)
        if (e.label == label) return e.id;
    ADD_FAILURE() << "no menu entry " << label;
    return -1;
}

TEST_F(Desktop, TrayItemMenuAndEveryAction) {
    TrayWatcher watcher(bus_.address(), /*host=*/true);
    PageServer designer;
    const std::string vestra = "http://127.0.0.1:" + std::to_string(designer.port()) + "/designer/?from=test";
    const unsigned short port = e2e::free_port();
    e2e::AgentProcess agent({"--tray", "--port", std::to_string(port)}, environment({{"PARVELLO_VESTRA_URL", vestra}}));

    ASSERT_TRUE(agent.wait_for_stderr("desktop shell ready")) << agent.stderr_so_far();
    ASSERT_TRUE(e2e::wait_for_listener(port, agent));
    auto status = e2e::http_request(port, "GET", "/status");
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(status->status, 200);

    // Started with --tray: the window exists but is not shown.
    ASSERT_TRUE(eventually([&] { return !agent_windows().empty(); }));
    EXPECT_FALSE(window_shown());
    // The designer view asked the designer's address, exactly as given.
    ASSERT_TRUE(eventually([&] { return !designer.targets().empty(); })) << agent.stderr_so_far();
    EXPECT_EQ(designer.targets().front(), "/designer/?from=test");

    const auto item = watcher.wait_for_item();
    ASSERT_TRUE(item.has_value());
    GVariant* tooltip = watcher.get_property(*item, kItemPath, kItemInterface, "ToolTip");
    ASSERT_NE(tooltip, nullptr);
    const gchar* tip_title = nullptr;
    g_variant_get(tooltip, "(&s@a(iiay)&s&s)", nullptr, nullptr, &tip_title, nullptr);
    EXPECT_EQ(std::string(tip_title), "parvello v" PARVELLO_VERSION " (127.0.0.1:" + std::to_string(port) + ")");
    g_variant_unref(tooltip);
    GVariant* pixmap = watcher.get_property(*item, kItemPath, kItemInterface, "IconPixmap");
    ASSERT_NE(pixmap, nullptr);
    ASSERT_EQ(g_variant_n_children(pixmap), 1u);
    gint32 width = 0, height = 0;
    GVariant* bytes = nullptr;
    g_variant_get_child(pixmap, 0, "(ii@ay)", &width, &height, &bytes);
    EXPECT_EQ(width, 32);
    EXPECT_EQ(height, 32);
    EXPECT_EQ(g_variant_n_children(bytes), 32u * 32u * 4u);
    g_variant_unref(bytes);
    g_variant_unref(pixmap);

    // Without a settings file autostart is on: the item starts checked.
    std::vector<MenuEntry> menu = read_menu(watcher, *item);
    struct Expected {
        std::string type, label;
        bool enabled;
        int toggle_state;
    };
    const std::vector<Expected> layout{
        {"", "parvello v" PARVELLO_VERSION " \u00b7 :" + std::to_string(port), false, -1},
        {"separator", "", true, -1},
        {"", "Show window", true, -1},
        {"", "Open Vestra in browser", true, -1},
        {"", "Start at login", true, 1},
        {"separator", "", true, -1},
        {"", "Quit", true, -1},
    };
    ASSERT_EQ(menu.size(), layout.size());
    for (std::size_t i = 0; i < layout.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(menu[i].type, layout[i].type);
        EXPECT_EQ(menu[i].label, layout[i].label);
        EXPECT_EQ(menu[i].enabled, layout[i].enabled);
        EXPECT_EQ(menu[i].toggle_state, layout[i].toggle_state);
    }
    EXPECT_EQ(menu[4].toggle_type, "checkmark");

    // A left click on the icon shows the window; closing it only hides it.
    g_variant_unref(watcher.call(*item, kItemPath, kItemInterface, "Activate", g_variant_new("(ii)", 0, 0)));
    ASSERT_TRUE(eventually([&] { return window_shown(); }));
    request_close(display_.x(), shown_window());
    ASSERT_TRUE(eventually([&] { return !window_shown(); }));
    ASSERT_TRUE(agent.running()) << agent.wait().err;
    click_menu(watcher, *item, entry_id(menu, "Show window"));
    EXPECT_TRUE(eventually([&] { return window_shown(); }));

    click_menu(watcher, *item, entry_id(menu, "Open Vestra in browser"));
    ASSERT_TRUE(eventually([&] { return fs::exists(browser_log()); }));
    EXPECT_EQ(e2e::read_text(browser_log()), vestra + "\n");

    // Switching autostart off: the mark clears, the setting is saved and the entry goes.
    ASSERT_TRUE(eventually([&] { return fs::exists(system_autostart()) || fs::exists(user_autostart()); }));
    click_menu(watcher, *item, entry_id(menu, "Start at login"));
    EXPECT_EQ(read_menu(watcher, *item)[4].toggle_state, 0);
    ASSERT_TRUE(eventually([&] {
        return e2e::read_text(sandbox_.config_file()).find("autostart = false") != std::string::npos;
    })) << agent.stderr_so_far();
    EXPECT_TRUE(eventually([&] { return !fs::exists(system_autostart()) && !fs::exists(user_autostart()); }));

    click_menu(watcher, *item, entry_id(menu, "Quit"));
    const e2e::Exit exit = agent.wait();
    EXPECT_EQ(exit.code, 0) << exit.err;
    EXPECT_FALSE(watcher.name_has_owner(*item));
}

// Settings with autostart off: the item starts unchecked. Started without --tray the window is
// shown, and its log page shows the agent's lines; "Clear" empties the page and the buffer
// behind it, so afterwards only lines logged since come back.
TEST_F(Desktop, LogPageShowsTheLogAndClearEmptiesIt) {
    TrayWatcher watcher(bus_.address(), /*host=*/true);
    PageServer designer;
    sandbox_.write_config("port = 27419\nautostart = false\n");
    const unsigned short port = e2e::free_port();
    e2e::AgentProcess agent(
        {"--port", std::to_string(port)},
        environment({{"PARVELLO_VESTRA_URL", "http://127.0.0.1:" + std::to_string(designer.port()) + "/"},
                     {"PARVELLO_LOG", "http::trace=debug"}}));
    const auto item = watcher.wait_for_item();
    ASSERT_TRUE(item.has_value()) << agent.stderr_so_far();
    const auto menu = read_menu(watcher, *item);
    ASSERT_EQ(menu.size(), 7u);
    EXPECT_EQ(menu[4].label, "Start at login");
    EXPECT_EQ(menu[4].toggle_state, 0);

    unsigned long window = 0;
    ASSERT_TRUE(eventually([&] { return (window = shown_window()) != 0; }));
    ASSERT_TRUE(e2e::wait_for_listener(port, agent));
    // The log text area of the 1200 x 800 window: below the log panel's header bar.
    auto lines = [&] { return light_text_lines(display_.x(), window, 0, 620 + 40, 1200, 800 - 660); };
    ASSERT_TRUE(eventually([&] { return lines() >= 3; })) << agent.stderr_so_far();

    click_at(display_.x(), window, 1160, 620 + 15);  // the "Clear" button at the bar's right end
    ASSERT_TRUE(eventually([&] { return lines() == 0; })) << "the page still shows log lines";

    // One request logs two lines; had the buffer kept its old lines they would return too.
    ASSERT_TRUE(e2e::http_request(port, "GET", "/status").has_value());
    EXPECT_TRUE(eventually([&] { return lines() == 2; })) << lines();
}

// Without a tray host the window could never come back once hidden: it is shown even with
// --tray and closing it quits. The port is taken here too: the desktop comes up regardless.
TEST_F(Desktop, WithoutTrayHostTheWindowStaysAndCloseQuits) {
    const unsigned short port = e2e::free_port();
    e2e::AgentProcess first({"--no-tray", "--port", std::to_string(port)}, environment({}, false));
    ASSERT_TRUE(e2e::wait_for_listener(port, first)) << first.stderr_so_far();

    e2e::AgentProcess agent({"--tray", "--port", std::to_string(port)}, environment());
    ASSERT_TRUE(agent.wait_for_stderr("desktop shell ready")) << agent.stderr_so_far();
    EXPECT_TRUE(agent.wait_for_stderr("ERROR parvello: HTTP server exited: ")) << agent.stderr_so_far();
    EXPECT_THAT(agent.stderr_so_far(), HasSubstr(" WARN parvello::desktop: no tray host on the session bus"));
    ASSERT_TRUE(eventually([&] { return window_shown(); }));

    request_close(display_.x(), shown_window());
    const e2e::Exit exit = agent.wait();
    EXPECT_EQ(exit.code, 0) << exit.err;
    EXPECT_THAT(exit.err, Not(HasSubstr("parvello failed")));
}

// A fatal error with a display shows the error box and waits for it, headless too; dismissing
// it ends the process with code 1.
TEST_F(Desktop, FatalErrorShowsTheBoxUntilDismissed) {
    // A file where the data folder should be: neither the log nor the web views' data can live there.
    const fs::path blocked = sandbox_.root() / "not-a-folder";
    std::ofstream(blocked) << "x";
    const struct {
        std::vector<std::string> args;
        std::map<std::string, std::string> env;
        std::string message;
    } cases[] = {
        {{"--no-tray", "--host", "0.0.0.0"},
         {},
         "parvello failed: parvello binds loopback only; refused host \"0.0.0.0\""},
        {{"--tray"}, {{"XDG_DATA_HOME", blocked.string()}}, "parvello failed: Not a directory\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        auto env = c.env;
        env["PARVELLO_PORT"] = std::to_string(e2e::free_port());
        e2e::AgentProcess agent(c.args, environment(env));
        ASSERT_TRUE(agent.wait_for_stderr("parvello failed: ")) << agent.stderr_so_far();
        unsigned long box = 0;
        ASSERT_TRUE(eventually([&] { return (box = shown_window()) != 0; })) << agent.stderr_so_far();
        EXPECT_TRUE(is_dialog(display_.x(), box));
        EXPECT_TRUE(agent.running());

        request_close(display_.x(), box);
        const e2e::Exit exit = agent.wait();
        EXPECT_EQ(exit.code, 1);
        EXPECT_THAT(exit.err, HasSubstr(c.message));
        ASSERT_TRUE(eventually([&] { return shown_window() == 0; }));
    }
}

// Where the module cannot be loaded, a headless agent's fatal error is reported on standard
// error and in the log alone: no box, nothing waits.
TEST_F(Desktop, HeadlessFatalErrorWithoutTheModuleReportsAlone) {
    const fs::path copy = sandbox_.copy_agent_without_module("bare");
    e2e::AgentProcess agent({"--no-tray", "--host", "0.0.0.0"}, environment(), copy.string());
    const e2e::Exit exit = agent.wait();
    EXPECT_EQ(exit.code, 1);
    EXPECT_THAT(exit.err, HasSubstr("parvello failed: parvello binds loopback only; refused host \"0.0.0.0\"\n"));
    EXPECT_THAT(e2e::read_text(sandbox_.log_file()), HasSubstr("ERROR parvello: parvello binds loopback only"));
    EXPECT_TRUE(agent_windows().empty());
}

// The panel's watcher comes up after the agent (a login race): started with --tray and no tray
// host, the window is shown; once the watcher appears the item registers with it, the window
// goes back to the tray, and the menu works.
TEST_F(Desktop, WatcherStartedAfterTheAgent) {
    PageServer designer;
    const unsigned short port = e2e::free_port();
    e2e::AgentProcess agent(
        {"--tray", "--port", std::to_string(port)},
        environment({{"PARVELLO_VESTRA_URL", "http://127.0.0.1:" + std::to_string(designer.port()) + "/"}}));
    ASSERT_TRUE(agent.wait_for_stderr("desktop shell ready")) << agent.stderr_so_far();
    EXPECT_THAT(agent.stderr_so_far(), HasSubstr(" WARN parvello::desktop: no tray host on the session bus"));
    ASSERT_TRUE(eventually([&] { return window_shown(); }));

    TrayWatcher watcher(bus_.address(), /*host=*/true);
    const auto item = watcher.wait_for_item();
    ASSERT_TRUE(item.has_value()) << agent.stderr_so_far();
    EXPECT_TRUE(eventually([&] { return !window_shown(); })) << agent.stderr_so_far();
    const auto menu = read_menu(watcher, *item);
    ASSERT_EQ(menu.size(), 7u);
    click_menu(watcher, *item, entry_id(menu, "Show window"));
    ASSERT_TRUE(eventually([&] { return window_shown(); }));
    // With a tray, closing the window only hides it.
    request_close(display_.x(), shown_window());
    ASSERT_TRUE(eventually([&] { return !window_shown(); }));
    EXPECT_TRUE(agent.running()) << agent.stderr_so_far();
}

// The panel restarts: each time its watcher goes away the hidden window is shown, so the agent
// stays reachable; each time a watcher comes back the item registers with it again, the window
// returns to the tray, and the menu works.
TEST_F(Desktop, WatcherRestartsAndTheItemRegistersAgain) {
    PageServer designer;
    const unsigned short port = e2e::free_port();
    std::optional<TrayWatcher> watcher;
    watcher.emplace(bus_.address(), /*host=*/true);
    e2e::AgentProcess agent(
        {"--tray", "--port", std::to_string(port)},
        environment({{"PARVELLO_VESTRA_URL", "http://127.0.0.1:" + std::to_string(designer.port()) + "/"}}));
    ASSERT_TRUE(watcher->wait_for_item().has_value()) << agent.stderr_so_far();
    ASSERT_TRUE(agent.wait_for_stderr("desktop shell ready")) << agent.stderr_so_far();
    ASSERT_TRUE(eventually([&] { return !agent_windows().empty(); }));
    EXPECT_FALSE(window_shown());

    for (int restart = 1; restart <= 2; ++restart) {
        SCOPED_TRACE(restart);
        watcher.reset();
        ASSERT_TRUE(eventually([&] { return window_shown(); })) << agent.stderr_so_far();

        watcher.emplace(bus_.address(), /*host=*/true);
        const auto item = watcher->wait_for_item();
        ASSERT_TRUE(item.has_value()) << agent.stderr_so_far();
        ASSERT_TRUE(eventually([&] { return !window_shown(); })) << agent.stderr_so_far();
        const auto menu = read_menu(*watcher, *item);
        ASSERT_EQ(menu.size(), 7u);
        EXPECT_EQ(menu[2].label, "Show window");
        click_menu(*watcher, *item, entry_id(menu, "Show window"));
        ASSERT_TRUE(eventually([&] { return window_shown(); }));
        request_close(display_.x(), shown_window());
        ASSERT_TRUE(eventually([&] { return !window_shown(); }));
    }

    const auto item = watcher->wait_for_item();
    click_menu(*watcher, *item, entry_id(read_menu(*watcher, *item), "Quit"));
    const e2e::Exit exit = agent.wait();
    EXPECT_EQ(exit.code, 0) << exit.err;
}

// Without any display the desktop cannot be set up: fatal, reported, and nothing waits.
TEST_F(Desktop, WithoutDisplayDesktopModeFailsAtOnce) {
    const e2e::Exit exit = e2e::run_agent({"--port", std::to_string(e2e::free_port())}, environment({}, false));
    EXPECT_EQ(exit.code, 1);
    EXPECT_THAT(exit.err, HasSubstr("parvello failed: could not open a display for the desktop window\n"));
    EXPECT_THAT(e2e::read_text(sandbox_.log_file()), HasSubstr("ERROR parvello: could not open a display"));
}

}  // namespace
}  // namespace desktop_e2e
