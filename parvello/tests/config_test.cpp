#include "parvello/config.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "pvo-test-support/temp_dir.hpp"

namespace parvello {

using pvo_test_support::ScopedEnv;
using pvo_test_support::TempDir;
namespace {

std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::filesystem::path& p, std::string_view text) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

TEST(LoadConfig, MissingFileGivesDefaultsAndCreatesNothing) {
    TempDir dir;
    const auto file = dir.path() / "cfg" / "config.toml";
    auto config = load_config_file(file);
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(*config, (BridgeConfig{27419, true}));
    EXPECT_FALSE(std::filesystem::exists(file.parent_path()));
}

TEST(LoadConfig, FilesAsTable) {
    struct Case {
        const char* name;
        std::string_view text;
        std::optional<BridgeConfig> expected;  // none: the load fails
        std::string_view error = {};
    };
    const Case cases[] = {
        {"empty", "", BridgeConfig{27419, true}},
        {"port only", "port = 8080\n", BridgeConfig{8080, true}},
        {"autostart only", "autostart = false\n", BridgeConfig{27419, false}},
        {"both", "port = 1\nautostart = false\n", BridgeConfig{1, false}},
        {"max port", "port = 65535", BridgeConfig{65535, true}},
        {"other keys and tables ignored", "Port = 1\nAUTOSTART = false\n[window]\nport = 3\n[[x]]\na=1\n",
         BridgeConfig{27419, true}},
        {"port as string", "port = \"8080\"\n", std::nullopt},
        {"port too large", "port = 65536\n", std::nullopt},
        {"port negative", "port = -1\n", std::nullopt},
        {"port float", "port = 8080.5\n", std::nullopt},
        {"autostart as int", "autostart = 1\n", std::nullopt},
        {"duplicate key", "port = 1\nport = 2\n", std::nullopt},
        {"not toml", "port = = 1\n", std::nullopt},
        {"not utf-8", "# \xff\nport = 1\n", std::nullopt},
        {"port zero", "port = 0\nautostart = false\n", std::nullopt, "port must be non-zero"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const auto file = dir.path() / "config.toml";
        write_file(file, c.text);
        auto config = load_config_file(file);
        if (c.expected) {
            ASSERT_TRUE(config.has_value()) << c.name << ": " << config.error().message;
            EXPECT_EQ(*config, *c.expected) << c.name;
        } else {
            EXPECT_FALSE(config.has_value()) << c.name;
            if (!config && !c.error.empty()) {
                EXPECT_EQ(config.error().message, c.error) << c.name;
            }
        }
    }
}

TEST(SaveConfig, WritesTwoLinesReplacingEverythingAndCreatesFolders) {
    TempDir dir;
    const auto file = dir.path() / "a" / "b" / "config.toml";
    ASSERT_TRUE(save_config_file({27419, false}, file).has_value());
    EXPECT_EQ(read_file(file), "port = 27419\nautostart = false\n");

    write_file(file, "# comment\nport = 5\nextra = 1\n");
    ASSERT_TRUE(save_config_file({8080, true}, file).has_value());
    EXPECT_EQ(read_file(file), "port = 8080\nautostart = true\n");
    // Nothing but the settings file is left behind in the folder.
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(file.parent_path()), std::filesystem::directory_iterator()),
        1);
    auto again = load_config_file(file);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(*again, (BridgeConfig{8080, true}));
}

TEST(SaveConfig, RefusesPortZeroAndKeepsTheOldFile) {
    TempDir dir;
    const auto file = dir.path() / "config.toml";
    write_file(file, "port = 9\n");
    auto saved = save_config_file({0, true}, file);
    ASSERT_FALSE(saved.has_value());
    EXPECT_EQ(saved.error().message, "port must be non-zero");
    EXPECT_EQ(read_file(file), "port = 9\n");
}

TEST(SaveConfig, FolderThatCannotBeCreatedIsAnError) {
    TempDir dir;
    write_file(dir.path() / "blocker", "not a folder");
    auto saved = save_config_file({8080, true}, dir.path() / "blocker" / "config.toml");
    ASSERT_FALSE(saved.has_value());
    EXPECT_NE(saved.error().message.find("blocker"), std::string::npos);
}

TEST(Paths, FollowXdgBaseDirectories) {
    const BaseDirs dirs{"/c", "/d"};
    EXPECT_EQ(config_file_path(dirs), "/c/parvello/config.toml");
    EXPECT_EQ(log_file_path(dirs), "/d/parvello/parvello.log");
    EXPECT_EQ(webview_data_dir(dirs), "/d/parvello/webview");
}

TEST(Paths, ResolveFromEnvironment) {
    ScopedEnv config_home("XDG_CONFIG_HOME", "/x/conf");
    ScopedEnv data_home("XDG_DATA_HOME", nullptr);
    ScopedEnv home("HOME", "/home/u");
    EXPECT_EQ(config_file_path(), std::filesystem::path("/x/conf/parvello/config.toml"));
    EXPECT_EQ(log_file_path(), std::filesystem::path("/home/u/.local/share/parvello/parvello.log"));
    {
        // A relative XDG value is ignored; without HOME nothing resolves, not even the other.
        ScopedEnv relative("XDG_DATA_HOME", "rel");
        ScopedEnv no_home("HOME", nullptr);
        EXPECT_FALSE(log_file_path().has_value());
        EXPECT_FALSE(config_file_path().has_value());
    }
}

TEST(CheckBindHost, AcceptsLoopbackNamesOnly) {
    for (const char* ok : {"127.0.0.1", "localhost", "::1", "  ::1  ", "\tlocalhost\xC2\xA0"})
        EXPECT_TRUE(check_bind_host(ok).has_value()) << ok;

    struct Case {
        const char* host;
        const char* message;
    };
    const Case refused[] = {
        {"0.0.0.0", "parvello binds loopback only; refused host \"0.0.0.0\""},
        {"LOCALHOST", "parvello binds loopback only; refused host \"LOCALHOST\""},
        {"[::1]", "parvello binds loopback only; refused host \"[::1]\""},
        {" 127.0.0.2 ", "parvello binds loopback only; refused host \"127.0.0.2\""},
        {"a\"b\\c\x01"
         "d\ne",
         "parvello binds loopback only; refused host \"a\\\"b\\\\c\\u{1}d\\ne\""},
        {"", "parvello binds loopback only; refused host \"\""},
    };
    for (const auto& c : refused) {
        auto result = check_bind_host(c.host);
        ASSERT_FALSE(result.has_value()) << c.host;
        EXPECT_EQ(result.error().message, c.message);
    }
}

}  // namespace
}  // namespace parvello
