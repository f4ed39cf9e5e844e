// Start-up of the real binary: command line, exit codes, the fatal report, port choice.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "agent_process.hpp"

namespace e2e {
namespace {

using ::testing::HasSubstr;

TEST(Startup, HelpAndVersionPrintOnceAndExitZero) {
    Sandbox sandbox;
    for (const char* flag : {"--version", "-V"}) {
        Exit exit = run_agent({flag}, sandbox.environment());
        EXPECT_EQ(exit.code, 0);
        EXPECT_EQ(exit.out, "parvello " PARVELLO_VERSION "\n");
    }
    Exit help = run_agent({"--help"}, sandbox.environment());
    EXPECT_EQ(help.code, 0);
    EXPECT_THAT(help.out, HasSubstr("parvello \u2014 localhost print agent"));
    EXPECT_THAT(help.out, HasSubstr("PARVELLO_PORT"));
    EXPECT_THAT(help.err, ::testing::Not(HasSubstr("failed")));
}

TEST(Startup, FatalAndUsageErrorsAsTable) {
    struct Case {
        std::vector<std::string> args;
        std::map<std::string, std::string> env;
        int code;
        std::string report;  // expected after "parvello failed: "
    };
    const Case cases[] = {
        {{"--no-tray", "--port", "0"}, {}, 1, "port must be non-zero"},
        {{"--no-tray"}, {{"PARVELLO_PORT", "0"}}, 1, "port must be non-zero"},
        {{"--no-tray", "--host", "0.0.0.0"}, {}, 1, "parvello binds loopback only; refused host \"0.0.0.0\""},
        {{"--no-tray", "--port", "70000"}, {}, 2, "--port: `70000` is out of range (0 to 65535)"},
        {{"--no-tray", "--port", "0x50"}, {}, 2, "--port: `0x50` is not a decimal port number"},
        {{"--no-tray"}, {{"PARVELLO_PORT", "abc"}}, 2, "PARVELLO_PORT: `abc` is not a decimal port number"},
        {{"--no-tray"}, {{"PARVELLO_PORT", ""}}, 2, "PARVELLO_PORT: `` is not a decimal port number"},
        // a plain flag takes no value: this never means desktop mode
        {{"--no-tray=false"}, {}, 2, "--no-tray: a flag takes no value (got `false`)"},
        {{"--no-tray", "--frobnicate"}, {}, 2, ""},
    };
    for (const auto& c : cases) {
        Sandbox sandbox;
        Exit exit = run_agent(c.args, sandbox.environment(c.env));
        EXPECT_EQ(exit.code, c.code) << c.args.back() << "\n" << exit.err;
        EXPECT_THAT(exit.err, HasSubstr("parvello failed: " + c.report)) << c.args.back();
    }
}

TEST(Startup, ServesStatusOnTheChosenPortHeadless) {
    Sandbox sandbox;
    const unsigned short port = free_port();
    // --no-tray wins over --tray; blanks around the host are trimmed.
    AgentProcess agent({"--tray", "--no-tray", "--host", " localhost ", "--port", std::to_string(port)},
                       sandbox.environment());
    ASSERT_TRUE(wait_for_listener(port, agent)) << agent.stderr_so_far();
    auto status = http_request(port, "GET", "/status");
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(status->status, 200);
    EXPECT_EQ(status->body,
              R"({"ok":true,"version":")" PARVELLO_VERSION R"(","api_version":1,"port":)" + std::to_string(port) + "}");
    EXPECT_THAT(agent.stderr_so_far(), HasSubstr("parvello v" PARVELLO_VERSION "\n"));
}

TEST(Startup, PortPrecedenceCommandLineThenVariableThenFile) {
    const unsigned short cli = free_port(), var = free_port(), file = free_port();
    struct Case {
        bool with_cli, with_var;
        unsigned short expected;
    };
    for (const Case& c : {Case{true, true, cli}, Case{false, true, var}, Case{false, false, file}}) {
        Sandbox sandbox;
        sandbox.write_config("port = " + std::to_string(file) + "\nautostart = false\n");
        std::vector<std::string> args{"--no-tray"};
        if (c.with_cli) args.insert(args.end(), {"--port", std::to_string(cli)});
        std::map<std::string, std::string> env;
        if (c.with_var) env["PARVELLO_PORT"] = std::to_string(var);
        AgentProcess agent(args, sandbox.environment(env));
        ASSERT_TRUE(wait_for_listener(c.expected, agent)) << agent.stderr_so_far();
        auto status = http_request(c.expected, "GET", "/status");
        ASSERT_TRUE(status.has_value());
        EXPECT_THAT(status->body, HasSubstr("\"port\":" + std::to_string(c.expected) + "}"));
    }
}

// Leading zeros are decimal, from the command line and from the variable alike: never octal.
TEST(Startup, PortWithLeadingZerosListensOnThatDecimalPort) {
    for (const bool from_variable : {false, true}) {
        Sandbox sandbox;
        const unsigned short port = free_port();
        const std::string written = "00" + std::to_string(port);
        std::vector<std::string> args{"--no-tray"};
        if (!from_variable) args.insert(args.end(), {"--port", written});
        AgentProcess agent(
            args, sandbox.environment(from_variable ? std::map<std::string, std::string>{{"PARVELLO_PORT", written}}
                                                    : std::map<std::string, std::string>{}));
        ASSERT_TRUE(wait_for_listener(port, agent)) << written << "\n" << agent.stderr_so_far();
        EXPECT_THAT(agent.stderr_so_far(), HasSubstr("listening on http://127.0.0.1:" + std::to_string(port)));
    }
}

TEST(Startup, SecondAgentOnABusyPortFailsAfterItsListeningLine) {
    Sandbox sandbox;
    const unsigned short port = free_port();
    AgentProcess first({"--no-tray", "--port", std::to_string(port)}, sandbox.environment());
    ASSERT_TRUE(wait_for_listener(port, first)) << first.stderr_so_far();

    Exit second = run_agent({"--no-tray", "--port", std::to_string(port)}, sandbox.environment());
    EXPECT_EQ(second.code, 1);
    const std::string listening =
        "parvello v" PARVELLO_VERSION " listening on http://127.0.0.1:" + std::to_string(port);
    const auto listening_at = second.err.find(listening);
    const auto failed_at = second.err.find("parvello failed: ");
    ASSERT_NE(listening_at, std::string::npos) << second.err;
    ASSERT_NE(failed_at, std::string::npos) << second.err;
    EXPECT_LT(listening_at, failed_at);
    EXPECT_TRUE(first.running());
}

TEST(Startup, LogFileReceivesTheBanner) {
    Sandbox sandbox;
    const unsigned short port = free_port();
    {
        AgentProcess agent({"--no-tray", "--port", std::to_string(port)}, sandbox.environment());
        ASSERT_TRUE(wait_for_listener(port, agent)) << agent.stderr_so_far();
        agent.stop();
    }
    std::ifstream log(sandbox.log_file());
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_THAT(text.str(), HasSubstr(" INFO parvello: parvello v" PARVELLO_VERSION "\n"));
    EXPECT_THAT(text.str(), ::testing::Not(HasSubstr("\x1b[")));
}

}  // namespace
}  // namespace e2e
