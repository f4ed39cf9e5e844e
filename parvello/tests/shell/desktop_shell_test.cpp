// The desktop shell's own logic: view layout, log page scripts, the event channel into the
// main loop, and the built-in tray picture.
#include <glib.h>

#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "desktop/shell/desktop_event.hpp"
#include "desktop/shell/layout.hpp"
#include "desktop/shell/log_page.hpp"
#include "desktop/shell/tray.hpp"
#include "parvello/product.hpp"

namespace parvello::desktop {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(LayoutWebviews, PlacesDesignerAboveTheLogPanel) {
    struct Case {
        double pixel_width, pixel_height, scale;
        WebviewLayout expected;
    };
    const Case cases[] = {
        {1200, 800, 1.0, {{0, 0, 1200, 620}, {0, 620, 1200, 180}}},
        // Short windows: the designer keeps 80 units, the log panel shrinks to 80 and then
        // runs past the bottom edge.
        {1200, 200, 1.0, {{0, 0, 1200, 80}, {0, 80, 1200, 120}}},
        {1200, 150, 1.0, {{0, 0, 1200, 80}, {0, 80, 1200, 80}}},
        // Physical pixels at scale 1.5 give the logical layout of 1200 x 800.
        {1800, 1200, 1.5, {{0, 0, 1200, 620}, {0, 620, 1200, 180}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pixel_width << "x" << c.pixel_height << "@" << c.scale);
        EXPECT_EQ(layout_webviews(c.pixel_width, c.pixel_height, c.scale), c.expected);
    }
}

// The array the page receives, parsed back out of the script.
nlohmann::json sent_array(const std::string& script) {
    const std::string prefix = "window.__pvoSetLogs && window.__pvoSetLogs(";
    EXPECT_EQ(script.rfind(prefix, 0), 0u) << script;
    EXPECT_EQ(script.back(), ')');
    return nlohmann::json::parse(script.substr(prefix.size(), script.size() - prefix.size() - 1));
}

TEST(SetLogsScript, SendsEveryLineAsOneJsonArrayOfStrings) {
    const std::vector<std::string> lines{"[INFO] parvello: parvello v2.0.6",
                                         "quote \" backslash \\ tag </script> newline\n end", ""};
    EXPECT_EQ(sent_array(set_logs_script(lines)), nlohmann::json(lines));
    EXPECT_EQ(set_logs_script({}), "window.__pvoSetLogs && window.__pvoSetLogs([])");
}

TEST(SetLogsScript, ALineThatIsNotUtf8DoesNotHoldBackTheLog) {
    const auto sent = sent_array(set_logs_script({"before", "bad \xff byte", "after"}));
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], "before");
    EXPECT_EQ(sent[1], "bad \xef\xbf\xbd byte");
    EXPECT_EQ(sent[2], "after");
}

TEST(LogPage, CarriesItsContract) {
    const std::string page = log_page_html(kProductName);
    EXPECT_THAT(page, HasSubstr("<span>parvello agent log</span>"));
    EXPECT_THAT(page, HasSubstr(R"(<button id="clear">Clear</button>)"));
    EXPECT_THAT(page, HasSubstr("<div id=\"log\" class=\"empty\">Waiting for agent activity\u2026</div>"));
    EXPECT_THAT(page, HasSubstr("window.ipc.postMessage(\"clear\")"));
    // Lines are set as text, never parsed as markup.
    EXPECT_THAT(page, HasSubstr("log.textContent = lines.join(\"\\n\")"));
    EXPECT_THAT(page, ::testing::Not(HasSubstr("innerHTML")));
    EXPECT_THAT(page, ::testing::Not(HasSubstr("src=")));
}

TEST(IpcMessage, OnlyTheExactWordClearPostsClearLogs) {
    const struct {
        const char* message;
        bool clears;
    } cases[] = {{"clear", true},   {"Clear", false}, {"clear ", false},
                 {" clear", false}, {"", false},      {"clearall", false}};
    for (const auto& c : cases) EXPECT_EQ(is_clear_request(c.message), c.clears) << '"' << c.message << '"';
}

TEST(TrayIcon, BuiltInPictureDecodesTo32By32Argb) {
    auto icon = load_tray_icon();
    ASSERT_TRUE(icon.has_value()) << icon.error().message;
    EXPECT_EQ(icon->width, 32);
    EXPECT_EQ(icon->height, 32);
    ASSERT_EQ(icon->argb.size(), 32u * 32u * 4u);
    auto pixel = [&](int x, int y) {
        const auto* p = &icon->argb[(y * 32 + x) * 4];
        return std::vector<int>{p[0], p[1], p[2], p[3]};
    };
    EXPECT_EQ(pixel(0, 0)[0], 0) << "rounded corners are transparent";
    EXPECT_THAT(pixel(2, 16), ElementsAre(255, 0x4F, 0x46, 0xE5)) << "indigo square";
    EXPECT_THAT(pixel(10, 16), ElementsAre(255, 255, 255, 255)) << "white label";
}

// Runs the default main context until `done` or until nothing more is pending.
template <typename Done>
void pump(Done done) {
    while (!done()) g_main_context_iteration(nullptr, TRUE);
}

TEST(EventProxy, DeliversInOrderOnTheLoopAndFailsOnceClosed) {
    std::vector<DesktopEvent> seen;
    EventProxy proxy([&](DesktopEvent e) { seen.push_back(e); });
    EXPECT_TRUE(proxy.send(DesktopEvent::RefreshLogs));
    on_ipc_message(proxy, "clear");
    on_ipc_message(proxy, "Clear");
    EXPECT_TRUE(seen.empty()) << "nothing runs before the loop does";
    pump([&] { return seen.size() == 2; });
    EXPECT_THAT(seen, ElementsAre(DesktopEvent::RefreshLogs, DesktopEvent::ClearLogs));

    // Queued before the close, dropped after it; later sends fail.
    EXPECT_TRUE(proxy.send(DesktopEvent::RefreshLogs));
    proxy.close();
    EXPECT_FALSE(proxy.send(DesktopEvent::RefreshLogs));
    while (g_main_context_iteration(nullptr, FALSE)) {}
    EXPECT_EQ(seen.size(), 2u);
}

TEST(LogTicker, PostsRefreshesUntilTheLoopIsGone) {
    int refreshes = 0;
    EventProxy proxy([&](DesktopEvent e) { refreshes += e == DesktopEvent::RefreshLogs; });
    std::thread ticker(log_ticker, proxy, std::chrono::milliseconds(1));
    pump([&] { return refreshes >= 3; });
    proxy.close();
    ticker.join();  // returns only because posting failed
    while (g_main_context_iteration(nullptr, FALSE)) {}
}

}  // namespace
}  // namespace parvello::desktop
