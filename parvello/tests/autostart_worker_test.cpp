// The "Start at login" work and the registration at start-up, with private XDG directories:
// the settings file and the login entry as the agent leaves them on disk.
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "desktop/autostart.hpp"
#include "desktop/desktop_entry.hpp"
#include "parvello/app_state.hpp"
#include "server_log_capture.hpp"
#include "file_text.hpp"
#include "pvo-test-support/temp_dir.hpp"

namespace parvello {
namespace {

namespace fs = std::filesystem;
using pvo_test_support::ScopedEnv;
using pvo_test_support::TempDir;
using test::LogCapture;

std::string settings_text(unsigned port, bool autostart) {
    return "port = " + std::to_string(port) + "\nautostart = " + (autostart ? "true" : "false") + "\n";
}

class AutostartTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (LogCapture::get() == nullptr) GTEST_SKIP() << "another logging stack is installed in this process";
    }

    fs::path settings_file() const { return dir_.path() / "config/parvello/config.toml"; }
    fs::path entry_file() const { return dir_.path() / "etc/autostart/parvello.desktop"; }
    fs::path user_entry_file() const { return dir_.path() / "config/autostart/parvello.desktop"; }

    std::string entry_of_this_program() const {
        return desktop_entry_text("parvello", fs::read_symlink("/proc/self/exe").string(),
                                  std::vector<std::string>{"--tray"});
    }

    // The one warning that `action` logs.
    template <typename Action>
    static std::string only_warning_of(Action&& action) {
        const std::size_t mark = LogCapture::get()->mark();
        action();
        const auto warnings = LogCapture::get()->lines_with("WARN ", mark);
        EXPECT_EQ(warnings.size(), 1u);
        return warnings.empty() ? std::string() : warnings.front();
    }

    void break_settings_folder() const { write_file_text(dir_.path() / "config/parvello", "a file, not a folder"); }
    void break_system_directory() const { write_file_text(dir_.path() / "etc", "a file, not a folder"); }

    // One click, waited for as the tray never does.
    static void click(const std::shared_ptr<Guarded<BridgeConfig>>& config, bool enabled) {
        std::thread(start_at_login_worker, config, enabled).join();
    }

    TempDir dir_;
    ScopedEnv config_home_{"XDG_CONFIG_HOME", (dir_.path() / "config").c_str()};
    ScopedEnv config_dirs_{"XDG_CONFIG_DIRS", (dir_.path() / "etc").c_str()};
    ScopedEnv data_home_{"XDG_DATA_HOME", (dir_.path() / "data").c_str()};
    ScopedEnv home_{"HOME", (dir_.path() / "home").c_str()};
};

TEST_F(AutostartTest, AClickSavesTheSettingAndUpdatesTheEntry) {
    AppState state(27419, true);
    click(state.config, false);
    EXPECT_EQ(read_file_text(settings_file()), settings_text(27419, false));
    EXPECT_FALSE(fs::exists(entry_file()));
    EXPECT_FALSE(state.config->lock()->autostart);

    click(state.config, true);
    EXPECT_EQ(read_file_text(settings_file()), settings_text(27419, true));
    EXPECT_EQ(read_file_text(entry_file()), entry_of_this_program());
}

// The second click waits for the first and then applies its own value.
TEST_F(AutostartTest, TwoQuickClicksApplyTheirValuesInOrder) {
    for (const bool last : {false, true}) {
        AppState state(27419, !last);
        std::vector<std::thread> workers;
        {
            auto held = state.config->lock();  // both workers queue behind this holder
            for (const bool value : {!last, last}) {
                const std::size_t queued = state.config->waiting() + 1;
                workers.emplace_back(start_at_login_worker, state.config, value);
                while (state.config->waiting() < queued) std::this_thread::yield();
            }
        }
        for (auto& worker : workers) worker.join();
        EXPECT_EQ(read_file_text(settings_file()), settings_text(27419, last)) << last;
        EXPECT_EQ(fs::exists(entry_file()), last);
        EXPECT_EQ(state.config->lock()->autostart, last);
    }
}

// A port given for this run alone stays out of the file: the stored port is kept.
TEST_F(AutostartTest, AClickKeepsTheStoredPortUnderAPortOverride) {
    struct Case {
        const char* name;
        std::optional<std::string> stored;
        unsigned saved_port;
    };
    const std::vector<Case> cases = {
        {"stored port", settings_text(5000, true), 5000},
        {"no settings file", std::nullopt, 27419},
        {"settings file the agent could not use", "port = 0\n", 27419},
    };
    for (const auto& c : cases) {
        fs::remove_all(settings_file().parent_path());
        if (c.stored) write_file_text(settings_file(), *c.stored);
        AppState state(8080, true);  // started with --port 8080
        click(state.config, false);
        EXPECT_EQ(read_file_text(settings_file()), settings_text(c.saved_port, false)) << c.name;
        EXPECT_EQ(state.config->lock()->port, 8080) << c.name;
    }
}

TEST_F(AutostartTest, AnUnsaveableSettingsFileIsAWarningAndTheEntryIsStillUpdated) {
    break_settings_folder();
    AppState state(27419, false);
    const std::string warning = only_warning_of([&] { click(state.config, true); });
    EXPECT_TRUE(warning.starts_with("WARN parvello::desktop: save config: ")) << warning;
    EXPECT_EQ(read_file_text(entry_file()), entry_of_this_program());
    EXPECT_TRUE(state.config->lock()->autostart);  // memory keeps the new value
}

TEST_F(AutostartTest, AnEntryThatCannotBeWrittenIsAWarningAfterTheSave) {
    break_system_directory();
    AppState state(27419, false);
    const std::string warning = only_warning_of([&] { click(state.config, true); });
    EXPECT_TRUE(warning.starts_with("WARN parvello::desktop: autostart: create ")) << warning;
    EXPECT_EQ(read_file_text(settings_file()), settings_text(27419, true));
}

// Switching off leaves an entry alone when its state cannot be read.
TEST_F(AutostartTest, SwitchingOffRemovesNothingWhenTheEntryCannotBeRead) {
    write_file_text(entry_file(), "not an entry\n");
    EXPECT_TRUE(set_login_autostart(false).has_value());
    EXPECT_EQ(read_file_text(entry_file()), "not an entry\n");
}

TEST_F(AutostartTest, StartUpRegistersTheEntryWhileTheSettingsWantIt) {
    register_login_autostart_at_start(true);
    EXPECT_EQ(read_file_text(entry_file()), entry_of_this_program());

    // Removed by hand, it comes back at the next start.
    fs::remove(entry_file());
    register_login_autostart_at_start(true);
    EXPECT_TRUE(fs::exists(entry_file()));
}

TEST_F(AutostartTest, StartUpLeavesTheEntryAloneWhenTheSettingIsOff) {
    write_file_text(user_entry_file(), "[Desktop Entry]\nHidden=true\n");
    register_login_autostart_at_start(false);
    EXPECT_FALSE(fs::exists(entry_file()));
    EXPECT_EQ(read_file_text(user_entry_file()), "[Desktop Entry]\nHidden=true\n");
}

TEST_F(AutostartTest, StartUpWarnsWhenTheEntryCannotBeRegistered) {
    break_system_directory();
    const std::string warning = only_warning_of([] { register_login_autostart_at_start(true); });
    EXPECT_TRUE(warning.starts_with("WARN parvello: autostart enable: create ")) << warning;
}

}  // namespace
}  // namespace parvello
