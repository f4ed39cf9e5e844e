// The login entry against real directories: a private system and user autostart directory
// per test.
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "desktop/desktop_entry.hpp"
#include "desktop/login_entry.hpp"
#include "file_text.hpp"
#include "pvo-test-support/temp_dir.hpp"

namespace parvello {
namespace {

namespace fs = std::filesystem;
using pvo_test_support::ScopedEnv;
using pvo_test_support::TempDir;

constexpr const char* kProgram = "/opt/parvello agent/parvello";
const std::string kHidden = "[Desktop Entry]\nType=Application\nName=parvello\nExec=x\nHidden=true\n";
const std::string kShown = "[Desktop Entry]\nType=Application\nName=parvello\nExec=x\n";

class LoginEntryTest : public ::testing::Test {
protected:
    LoginEntryTest() {
        // Reachable by the unprivileged user of the refusal tests.
        fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                         fs::perms::others_read | fs::perms::others_exec);
    }

    AutostartDirs dirs() const { return {dir_.path() / "etc/autostart", dir_.path() / "home/autostart"}; }
    LoginEntry entry() const { return LoginEntry("parvello", kProgram, {"--tray"}, dirs()); }
    fs::path system_file() const { return entry().system_file(); }
    fs::path user_file() const { return entry().user_file(); }
    std::string written() const { return desktop_entry_text("parvello", kProgram, std::vector<std::string>{"--tray"}); }

    TempDir dir_;
};

TEST_F(LoginEntryTest, EnableWritesTheSystemEntryWhenItsDirectoryIsWritable) {
    ASSERT_TRUE(entry().enable().has_value());
    EXPECT_EQ(read_file_text(system_file()), written());
    EXPECT_EQ(fs::status(system_file()).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    EXPECT_FALSE(fs::exists(user_file()));
    EXPECT_EQ(entry().is_enabled(), true);
    // Nothing is left behind by the atomic write.
    EXPECT_EQ(std::distance(fs::directory_iterator(dirs().system), fs::directory_iterator()), 1);
}

TEST_F(LoginEntryTest, EnableFailsWithoutFallbackWhenTheSystemDirectoryFailsOtherwise) {
    write_file_text(dir_.path() / "etc", "a file where a directory belongs");
    const auto result = entry().enable();
    ASSERT_FALSE(result.has_value());
    EXPECT_NE(result.error().message.find(dirs().system.string()), std::string::npos) << result.error().message;
    EXPECT_FALSE(fs::exists(user_file()));
}

TEST_F(LoginEntryTest, ReEnablingApprovesADisabledEntryAgain) {
    write_file_text(system_file(), kHidden);
    EXPECT_EQ(entry().is_enabled(), false);
    ASSERT_TRUE(entry().enable().has_value());
    EXPECT_EQ(read_file_text(system_file()), written());
    EXPECT_EQ(entry().is_enabled(), true);
}

// A user file of the same name overrides the system entry: switching on rewrites it too.
TEST_F(LoginEntryTest, EnablingApprovesAUserEntryThatHidesTheSystemOne) {
    write_file_text(user_file(), kHidden);
    ASSERT_TRUE(entry().enable().has_value());
    EXPECT_EQ(read_file_text(system_file()), written());
    EXPECT_EQ(read_file_text(user_file()), written());
    EXPECT_EQ(entry().is_enabled(), true);
}

struct StateCase {
    const char* name;
    std::optional<std::string> system;  // file text; none: absent; kDirectory: a directory
    std::optional<std::string> user;
    std::optional<bool> enabled;  // none: an error
};
const std::string kDirectory = "<directory>";

TEST_F(LoginEntryTest, IsEnabledFollowsPresenceThenApprovalInBothDirectories) {
    const std::vector<StateCase> cases = {
        {"absent in both", std::nullopt, std::nullopt, false},
        {"system entry", kShown, std::nullopt, true},
        {"user entry", std::nullopt, kShown, true},
        {"both", kShown, kShown, true},
        {"system entry hidden", kHidden, std::nullopt, false},
        {"user entry hidden", std::nullopt, kHidden, false},
        {"user file hides the system entry", kShown, kHidden, false},
        {"hidden system entry under a shown user file", kHidden, kShown, false},
        {"malformed system entry", "not an entry\n", std::nullopt, std::nullopt},
        {"malformed user entry beside a system one", kShown, "[Desktop Entry]\nHidden=maybe\n", std::nullopt},
        {"system entry not UTF-8", "[Desktop Entry]\nName=\xc3\n", std::nullopt, std::nullopt},
        {"unreadable system entry", kDirectory, std::nullopt, std::nullopt},
        {"unreadable user entry", std::nullopt, kDirectory, std::nullopt},
    };
    for (const auto& c : cases) {
        fs::remove_all(dirs().system);
        fs::remove_all(dirs().user);
        for (const auto& [file, text] : {std::pair{system_file(), c.system}, std::pair{user_file(), c.user}}) {
            if (!text) continue;
            if (*text == kDirectory)
                fs::create_directories(file);
            else
                write_file_text(file, *text);
        }
        const auto result = entry().is_enabled();
        if (c.enabled) {
            ASSERT_TRUE(result.has_value()) << c.name << ": " << result.error().message;
            EXPECT_EQ(*result, *c.enabled) << c.name;
        } else {
            EXPECT_FALSE(result.has_value()) << c.name;
        }
    }
}

TEST_F(LoginEntryTest, DisableRemovesTheEntryWhereverItIs) {
    const std::vector<std::pair<bool, bool>> placements = {{true, false}, {false, true}, {true, true}, {false, false}};
    for (const auto& [in_system, in_user] : placements) {
        if (in_system) write_file_text(system_file(), kShown);
        if (in_user) write_file_text(user_file(), kShown);
        ASSERT_TRUE(entry().disable().has_value()) << in_system << in_user;
        EXPECT_FALSE(fs::exists(system_file()));
        EXPECT_FALSE(fs::exists(user_file()));
        EXPECT_EQ(entry().is_enabled(), false);
    }
}

TEST_F(LoginEntryTest, DisableReportsAFailureOtherThanARefusal) {
    fs::create_directories(user_file() / "child");  // a non-empty directory cannot be unlinked
    EXPECT_FALSE(entry().disable().has_value());
}

// Runs `body` in a child process as the unprivileged user "nobody" (65534), so directory
// permissions refuse it as they refuse any user without rights; root is never refused by
// permission bits. Without root the child keeps the caller's user, already unprivileged.
int run_unprivileged(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(90);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class RefusedSystemDirectory : public LoginEntryTest {
protected:
    RefusedSystemDirectory() {
        fs::create_directories(dirs().system);
        fs::create_directories(dir_.path() / "home");
    }

    // The system directory belongs to root and is closed to others; the user's home belongs
    // to the unprivileged user.
    void close_system_directory() {
        fs::permissions(dirs().system, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                           fs::perms::others_read | fs::perms::others_exec);
        if (::geteuid() == 0) {
            EXPECT_EQ(::chown((dir_.path() / "home").c_str(), 65534, 65534), 0);
        } else {
            fs::permissions(dirs().system, fs::perms::owner_write, fs::perm_options::remove);
        }
    }
};

TEST_F(RefusedSystemDirectory, EnableFallsBackToTheUsersDirectory) {
    close_system_directory();
    const int status = run_unprivileged([this] { return entry().enable().has_value() ? 0 : 1; });
    ASSERT_EQ(status, 0);
    EXPECT_FALSE(fs::exists(system_file()));
    EXPECT_EQ(read_file_text(user_file()), written());
    EXPECT_EQ(entry().is_enabled(), true);
}

TEST_F(RefusedSystemDirectory, DisablePassesOverTheSystemEntryAndRemovesTheUsersEntry) {
    write_file_text(system_file(), kShown);
    close_system_directory();
    const int status = run_unprivileged([this] {
        write_file_text(user_file(), kShown);
        if (!fs::exists(user_file())) return 2;
        return entry().disable().has_value() ? 0 : 1;
    });
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(fs::exists(system_file()));
    EXPECT_FALSE(fs::exists(user_file()));
}

}  // namespace
}  // namespace parvello
