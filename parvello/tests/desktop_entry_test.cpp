// The login entry's Desktop Entry text: its Exec value read back by the Desktop Entry rules
// for awkward program paths, the validator and a real launch, and how its approval is read.
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "desktop/desktop_entry.hpp"
#include "desktop/login_entry.hpp"
#include "pvo-test-support/temp_dir.hpp"

namespace parvello {
namespace {

namespace fs = std::filesystem;
using pvo_test_support::ScopedEnv;
using pvo_test_support::TempDir;

const std::vector<std::string> kTray{"--tray"};

// The value of `key` in the entry's text, as written in the file.
std::string raw_value(const std::string& text, std::string_view key) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(std::string(key) + "=")) return line.substr(key.size() + 1);
    }
    ADD_FAILURE() << "no " << key << " in\n" << text;
    return {};
}

// Reads an Exec value back as a launcher does by the Desktop Entry rules: the string escapes
// of the file first, then the quoting of arguments, then %% as a literal percent sign.
std::vector<std::string> launcher_argv(std::string_view value) {
    std::string unescaped;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            unescaped += value[i];
            continue;
        }
        switch (value[++i]) {
            case 's':
                unescaped += ' ';
                break;
            case 'n':
                unescaped += '\n';
                break;
            case 't':
                unescaped += '\t';
                break;
            case 'r':
                unescaped += '\r';
                break;
            case '\\':
                unescaped += '\\';
                break;
            default:
                ADD_FAILURE() << "invalid string escape in " << value;
        }
    }
    std::vector<std::string> argv;
    std::string arg;
    bool in_arg = false;
    bool quoted = false;
    for (std::size_t i = 0; i < unescaped.size(); ++i) {
        const char c = unescaped[i];
        if (quoted) {
            if (c == '\\' && i + 1 < unescaped.size() &&
                std::string_view("\"`$\\").find(unescaped[i + 1]) != std::string_view::npos) {
                arg += unescaped[++i];
            } else if (c == '"') {
                quoted = false;
            } else {
                EXPECT_TRUE(c != '`' && c != '$' && c != '\\') << "unescaped " << c << " in quotes: " << value;
                arg += c;
            }
        } else if (c == ' ') {
            if (in_arg) argv.push_back(std::exchange(arg, {}));
            in_arg = false;
        } else {
            EXPECT_TRUE(std::string_view("'\\><~|&;$*?#()`\t\n").find(c) == std::string_view::npos)
                << "reserved character " << c << " outside quotes: " << value;
            if (c == '"')
                quoted = true;
            else
                arg += c;
            in_arg = true;
        }
    }
    EXPECT_FALSE(quoted) << "unterminated quote: " << value;
    if (in_arg) argv.push_back(arg);
    for (auto& a : argv) {
        std::string literal;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (a[i] == '%') {
                EXPECT_TRUE(i + 1 < a.size() && a[i + 1] == '%') << "field code in " << a;
                ++i;
            }
            literal += a[i];
        }
        a = literal;
    }
    return argv;
}

TEST(DesktopEntryExec, AwkwardProgramPathsReadBackUnchanged) {
    const std::vector<std::string> paths = {
        "/usr/bin/parvello",
        "/opt/Label Tools/parvello",
        R"(/home/a "quoted" dir/parvello)",
        R"(/srv/back\slash\\twice/parvello)",
        "/tmp/$HOME and `cmd`/parvello",
        "/tmp/100% sure %u %f/parvello",
        "/tmp/it's (here) & there; #1 | <x> ~*?/parvello",
        " /leading space and\ttab/parvello",
    };
    for (const auto& path : paths) {
        const std::string text = desktop_entry_text("parvello", path, kTray);
        EXPECT_EQ(launcher_argv(raw_value(text, "Exec")), (std::vector<std::string>{path, "--tray"})) << text;
    }
}

TEST(DesktopEntryExec, ArgumentsWithReservedCharactersAreQuoted) {
    const std::vector<std::string> args = {"--tray", "two words", "50%", "a\"b"};
    const std::string text = desktop_entry_text("parvello", "/usr/bin/parvello", args);
    std::vector<std::string> expected{"/usr/bin/parvello"};
    expected.insert(expected.end(), args.begin(), args.end());
    EXPECT_EQ(launcher_argv(raw_value(text, "Exec")), expected);
    EXPECT_EQ(raw_value(text, "Exec"), R"("/usr/bin/parvello" --tray "two words" "50%%" "a\\"b")");
}

bool have_program(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(DesktopEntryExec, TheValidatorAcceptsTheEntryOfAnAwkwardPath) {
    if (!have_program("desktop-file-validate")) GTEST_SKIP() << "desktop-file-validate is not installed";
    TempDir dir;
    const LoginEntry entry("parvello", R"(/opt/a "b" \c $d %e 'f'/parvello)", kTray,
                           {dir.path() / "sys", dir.path() / "user"});
    ASSERT_TRUE(entry.enable().has_value());
    const fs::path report = dir.path() / "report";
    const int status = std::system(
        ("desktop-file-validate '" + entry.system_file().string() + "' >'" + report.string() + "' 2>&1").c_str());
    std::ifstream in(report);
    const std::string output{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(output, "");
}

// A launcher really starts the program at such a path with "--tray". (A % in the program's
// path is left out: GLib looks the program up before it reads %% as a percent sign.)
TEST(DesktopEntryExec, GioLaunchStartsTheProgramAtAnAwkwardPath) {
    if (!have_program("gio")) GTEST_SKIP() << "gio is not installed";
    TempDir dir;
    const fs::path out = dir.path() / "argv";
    const fs::path folder = dir.path() / R"(a dir "q" \b $x `y`)";
    fs::create_directories(folder);
    const fs::path program = folder / "prog 'it'";
    {
        std::ofstream script(program);
        script << "#!/bin/sh\nfor a in \"$0\" \"$@\"; do printf '%s\\n' \"$a\"; done > '" << out.string()
               << ".part'\nmv '" << out.string() << ".part' '" << out.string() << "'\n";
    }
    fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    const LoginEntry entry("parvello", program.string(), kTray, {dir.path() / "sys", dir.path() / "user"});
    ASSERT_TRUE(entry.enable().has_value());

    ASSERT_EQ(std::system(("gio launch '" + entry.system_file().string() + "' >/dev/null 2>&1").c_str()), 0);
    // The program runs detached from gio; wait for the file it leaves.
    for (int i = 0; i < 3000 && !fs::exists(out); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(out);
    ASSERT_TRUE(in) << "the launched program wrote nothing";
    std::vector<std::string> argv;
    for (std::string line; std::getline(in, line);) argv.push_back(line);
    EXPECT_EQ(argv, (std::vector<std::string>{program.string(), "--tray"}));
}

struct ApprovalCase {
    const char* name;
    std::string text;
    std::optional<bool> approved;  // none: an error
};

TEST(DesktopEntryApproval, ReadsTheSwitchOfTheEntryGroup) {
    const std::string head = "[Desktop Entry]\nType=Application\nName=parvello\nExec=x\n";
    const std::vector<ApprovalCase> cases = {
        {"as written", desktop_entry_text("parvello", "/usr/bin/parvello", kTray), true},
        {"no switch at all", head, true},
        {"Hidden=true", head + "Hidden=true\n", false},
        {"Hidden = true, blanks around =", head + "Hidden = true\n", false},
        {"GNOME switch off", head + "X-GNOME-Autostart-enabled=false\n", false},
        {"comments, blank lines, CRLF", "# made by hand\r\n\r\n" + head + "Hidden=false\r\n", true},
        {"switch in another group", head + "[Desktop Action x]\nName=y\nHidden=true\n", true},
        {"localised keys pass", head + "Name[de]=Drucker\n", true},
        {"Hidden with a non-boolean", head + "Hidden=yes\n", std::nullopt},
        {"key given twice", head + "Hidden=false\nHidden=true\n", std::nullopt},
        {"no entry group", "[Something]\nHidden=false\n", std::nullopt},
        {"key before any group", "Hidden=false\n" + head, std::nullopt},
        {"line without =", head + "garbage\n", std::nullopt},
        {"unterminated group header", "[Desktop Entry\nType=Application\n", std::nullopt},
        {"not UTF-8", head + "Name[fr]=\xff\xfe\n", std::nullopt},
        {"empty file", "", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto result = desktop_entry_approved(c.text);
        if (c.approved) {
            ASSERT_TRUE(result.has_value()) << c.name << ": " << result.error();
            EXPECT_EQ(*result, *c.approved) << c.name;
        } else {
            EXPECT_FALSE(result.has_value()) << c.name;
        }
    }
}

}  // namespace
}  // namespace parvello
