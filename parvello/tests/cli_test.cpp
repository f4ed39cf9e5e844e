#include "cli.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "parvello/product.hpp"
#include "pvo-test-support/temp_dir.hpp"

namespace parvello {

using pvo_test::ScopedEnv;
namespace {

CliOutcome parse(std::vector<const char*> args) {
    args.insert(args.begin(), "/usr/bin/parvello");
    return parse_command_line(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, DefaultsAndFlags) {
    ScopedEnv env("PARVELLO_PORT", nullptr);
    auto outcome = parse({});
    ASSERT_TRUE(std::holds_alternative<Args>(outcome));
    const auto& args = std::get<Args>(outcome);
    EXPECT_FALSE(args.port.has_value());
    EXPECT_EQ(args.host, "127.0.0.1");
    EXPECT_FALSE(args.no_tray);
    EXPECT_FALSE(args.tray);

    auto both = std::get<Args>(parse({"--no-tray", "--tray", "--host", " localhost "}));
    EXPECT_TRUE(both.no_tray);
    EXPECT_TRUE(both.tray);
    EXPECT_EQ(both.host, " localhost ");
}

TEST(CommandLine, PortFromOptionWinsOverEnvironment) {
    struct Case { const char* env; std::vector<const char*> args; std::optional<std::uint16_t> port; };
    const Case cases[] = {
        {nullptr, {"--port", "8080"}, 8080},
        {"9000", {}, 9000},
        {"9000", {"--port", "8080"}, 8080},
        {"abc", {"--port", "8080"}, 8080},  // the variable is not read when --port is given
        {nullptr, {"--port", "0"}, 0},       // start-up refuses 0, not the parser
        {"0", {}, 0},
        {nullptr, {"--port=65535"}, 65535},
    };
    for (const auto& c : cases) {
        ScopedEnv env("PARVELLO_PORT", c.env);
        auto outcome = parse(c.args);
        ASSERT_TRUE(std::holds_alternative<Args>(outcome)) << (c.env ? c.env : "-");
        EXPECT_EQ(std::get<Args>(outcome).port, c.port);
    }
}

TEST(CommandLine, UsageErrors) {
    struct Case { const char* env; std::vector<const char*> args; };
    const Case cases[] = {
        {nullptr, {"--port", "70000"}},
        {nullptr, {"--port", "-1"}},
        {nullptr, {"--port", "http"}},
        {nullptr, {"--port"}},
        {"abc", {}},
        {"70000", {}},
        {nullptr, {"--bogus"}},
        {nullptr, {"positional"}},
        {nullptr, {"-p", "1"}},
    };
    for (const auto& c : cases) {
        ScopedEnv env("PARVELLO_PORT", c.env);
        auto outcome = parse(c.args);
        ASSERT_TRUE(std::holds_alternative<CliUsageError>(outcome)) << (c.args.empty() ? c.env : c.args[0]);
        EXPECT_FALSE(std::get<CliUsageError>(outcome).message.empty());
    }
}

TEST(CommandLine, HelpAndVersion) {
    ScopedEnv env("PARVELLO_PORT", nullptr);
    for (const char* flag : {"-V", "--version"}) {
        auto outcome = parse({flag});
        ASSERT_TRUE(std::holds_alternative<CliInfo>(outcome));
        EXPECT_EQ(std::get<CliInfo>(outcome).text, "parvello " + std::string(kVersion) + "\n");
    }
    for (const char* flag : {"-h", "--help"}) {
        auto outcome = parse({flag});
        ASSERT_TRUE(std::holds_alternative<CliInfo>(outcome));
        const auto& text = std::get<CliInfo>(outcome).text;
        for (const char* part : {"parvello \u2014 localhost print agent", "--port", "<PORT>", "PARVELLO_PORT",
                                 "--host", "127.0.0.1", "--no-tray", "--tray", "--help", "--version",
                                 "Override listen port (still bound to 127.0.0.1 only)",
                                 "Start tray-only (no window). Used by login autostart"})
            EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    }
}

}  // namespace
}  // namespace parvello
