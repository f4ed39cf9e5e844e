#include "cli.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "parvello/product.hpp"
#include "pvo-test-support/temp_dir.hpp"

namespace parvello {

using pvo_test_support::ScopedEnv;
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
    struct Case {
        const char* env;
        std::vector<const char*> args;
        std::optional<std::uint16_t> port;
    };
    const Case cases[] = {
        {nullptr, {"--port", "8080"}, 8080},
        {"9000", {}, 9000},
        {"9000", {"--port", "8080"}, 8080},
        {"abc", {"--port", "8080"}, 8080},  // the variable is not read when --port is given
        {nullptr, {"--port", "0"}, 0},      // start-up refuses 0, not the parser
        {"0", {}, 0},
        {nullptr, {"--port=65535"}, 65535},
        {"", {"--port", "8080"}, 8080},
    };
    for (const auto& c : cases) {
        ScopedEnv env("PARVELLO_PORT", c.env);
        auto outcome = parse(c.args);
        ASSERT_TRUE(std::holds_alternative<Args>(outcome)) << (c.env ? c.env : "-");
        EXPECT_EQ(std::get<Args>(outcome).port, c.port);
    }
}

TEST(CommandLine, UsageErrors) {
    struct Case {
        const char* env;
        std::vector<const char*> args;
    };
    const Case cases[] = {
        {nullptr, {"--port"}},  {nullptr, {"--port", "1", "--port", "2"}},
        {nullptr, {"--bogus"}}, {nullptr, {"positional"}},
        {nullptr, {"-p", "1"}},
    };
    for (const auto& c : cases) {
        ScopedEnv env("PARVELLO_PORT", c.env);
        auto outcome = parse(c.args);
        ASSERT_TRUE(std::holds_alternative<CliUsageError>(outcome)) << (c.args.empty() ? c.env : c.args.back());
        EXPECT_FALSE(std::get<CliUsageError>(outcome).message.empty());
    }
}

TEST(CommandLine, TrayFlagsTakeNoValue) {
    ScopedEnv env("PARVELLO_PORT", nullptr);
    const std::pair<const char*, const char*> cases[] = {
        {"--no-tray=false", "--no-tray: a flag takes no value (got `false`)"},
        {"--tray=false", "--tray: a flag takes no value (got `false`)"},
        {"--no-tray=0", "--no-tray: a flag takes no value (got `0`)"},
        {"--no-tray=yes", "--no-tray: a flag takes no value (got `yes`)"},
    };
    for (const auto& [arg, message] : cases) {
        auto outcome = parse({"--tray", arg});
        ASSERT_TRUE(std::holds_alternative<CliUsageError>(outcome)) << arg;
        EXPECT_EQ(std::get<CliUsageError>(outcome).message, message);
    }
}

// The same text, given as --port and as PARVELLO_PORT, reads as the same port or is refused
// with the same reason.
TEST(CommandLine, PortIsReadAsADecimalNumber) {
    struct Case {
        const char* text;
        std::optional<std::uint16_t> port;
        const char* reason;
    };
    const Case cases[] = {
        {"8080", 8080, nullptr},
        {"041234", 41234, nullptr},  // not octal
        {"08080", 8080, nullptr},    // not a bad octal number
        {"010", 10, nullptr},
        {"000000000000000000080", 80, nullptr},
        {"0", 0, nullptr},
        {"65535", 65535, nullptr},
        {"0x50", std::nullopt, "`0x50` is not a decimal port number"},
        {"0X50", std::nullopt, "`0X50` is not a decimal port number"},
        {"", std::nullopt, "`` is not a decimal port number"},
        {" 80", std::nullopt, "` 80` is not a decimal port number"},
        {"80 ", std::nullopt, "`80 ` is not a decimal port number"},
        {"+80", std::nullopt, "`+80` is not a decimal port number"},
        {"-1", std::nullopt, "`-1` is not a decimal port number"},
        {"8e3", std::nullopt, "`8e3` is not a decimal port number"},
        {"80.0", std::nullopt, "`80.0` is not a decimal port number"},
        {"http", std::nullopt, "`http` is not a decimal port number"},
        {"65536", std::nullopt, "`65536` is out of range (0 to 65535)"},
        {"070000", std::nullopt, "`070000` is out of range (0 to 65535)"},
        {"99999999999999999999999", std::nullopt, "`99999999999999999999999` is out of range (0 to 65535)"},
    };
    for (const auto& c : cases) {
        for (const bool from_variable : {false, true}) {
            ScopedEnv env("PARVELLO_PORT", from_variable ? c.text : nullptr);
            auto outcome = from_variable ? parse({}) : parse({"--port", c.text});
            const std::string where = std::string(from_variable ? "PARVELLO_PORT=" : "--port ") + c.text;
            if (c.port) {
                ASSERT_TRUE(std::holds_alternative<Args>(outcome)) << where;
                EXPECT_EQ(std::get<Args>(outcome).port, c.port) << where;
            } else {
                ASSERT_TRUE(std::holds_alternative<CliUsageError>(outcome)) << where;
                EXPECT_EQ(std::get<CliUsageError>(outcome).message,
                          std::string(from_variable ? "PARVELLO_PORT: " : "--port: ") + c.reason)
                    << where;
            }
        }
    }
}

TEST(CommandLine, HelpAndVersion) {
    ScopedEnv env("PARVELLO_PORT", "not a port");  // help and version never read it
    for (const char* flag : {"-V", "--version"}) {
        auto outcome = parse({flag});
        ASSERT_TRUE(std::holds_alternative<CliInfo>(outcome));
        EXPECT_EQ(std::get<CliInfo>(outcome).text, "parvello " + std::string(kVersion) + "\n");
    }
    for (const char* flag : {"-h", "--help"}) {
        auto outcome = parse({flag});
        ASSERT_TRUE(std::holds_alternative<CliInfo>(outcome));
        const auto& text = std::get<CliInfo>(outcome).text;
        for (const char* part :
             {"parvello \u2014 localhost print agent", "--port", "<PORT>", "PARVELLO_PORT", "--host", "127.0.0.1",
              "--no-tray", "--tray", "--help", "--version", "Override listen port (still bound to 127.0.0.1 only)",
              "Start tray-only (no window). Used by login autostart"})
            EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    }
}

}  // namespace
}  // namespace parvello
