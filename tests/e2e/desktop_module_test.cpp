// The desktop shell is a module of its own: the headless agent maps none of its libraries, and
// desktop mode without the module ends with a report that names it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "agent_process.hpp"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// The mapped files of a process whose names mark the desktop stack or the desktop module.
std::vector<std::string> desktop_mappings(pid_t pid) {
    const char* const marks[] = {"libgtk",      "libgdk",          "libwebkit2gtk", "libjavascriptcoregtk",
                                 "libdbusmenu", "parvello-desktop"};
    std::vector<std::string> found;
    std::istringstream maps(read_text("/proc/" + std::to_string(pid) + "/maps"));
    for (std::string line; std::getline(maps, line);) {
        const auto slash = line.find('/');
        if (slash == std::string::npos) continue;
        const std::string name = fs::path(line.substr(slash)).filename().string();
        for (const char* mark : marks)
            if (name.rfind(mark, 0) == 0) found.push_back(name);
    }
    return found;
}

// Even with a display in its environment, the headless agent loads nothing of the desktop:
// not at start, not while it answers requests.
TEST(DesktopModule, HeadlessAgentMapsNoDesktopLibrary) {
    Sandbox sandbox;
    const unsigned short port = free_port();
    AgentProcess agent({"--no-tray", "--port", std::to_string(port)}, sandbox.environment({{"DISPLAY", ":0"}}));
    ASSERT_TRUE(wait_for_listener(port, agent)) << agent.stderr_so_far();
    EXPECT_THAT(desktop_mappings(agent.pid()), IsEmpty());
    for (const char* target : {"/status", "/devices"}) {
        auto answer = http_request(port, "GET", target);
        ASSERT_TRUE(answer.has_value()) << target;
        EXPECT_EQ(answer->status, 200) << target;
    }
    EXPECT_THAT(desktop_mappings(agent.pid()), IsEmpty());
    // The check itself sees a mapped library: the agent's own C++ runtime.
    EXPECT_THAT(read_text("/proc/" + std::to_string(agent.pid()) + "/maps"), HasSubstr("libstdc++"));
}

// A copy of the agent in a folder of its own, where the module is not.
class AgentCopy : public ::testing::Test {
protected:
    Sandbox sandbox;
    const fs::path copy = sandbox.copy_agent_without_module("bin");
    const fs::path module = copy.parent_path() / "parvello-desktop.so";
};

// Desktop mode cannot start and says what is missing and how to run headless; headless mode
// runs as ever.
TEST_F(AgentCopy, DesktopModeWithoutTheModuleIsFatalAndNamesIt) {
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"--tray"}}) {
        auto all = args;
        all.insert(all.end(), {"--port", std::to_string(free_port())});
        AgentProcess agent(all, sandbox.environment(), copy.string());
        const Exit exit = agent.wait();
        EXPECT_EQ(exit.code, 1);
        const std::string report = "cannot load the desktop module: " + module.string() +
                                   ": cannot open shared object file: No such file or directory; "
                                   "use --no-tray to run without the desktop";
        EXPECT_THAT(exit.err, HasSubstr("parvello failed: " + report + "\n"));
        EXPECT_THAT(read_text(sandbox.log_file()), HasSubstr("ERROR parvello: " + report));
    }

    const unsigned short port = free_port();
    AgentProcess headless({"--no-tray", "--port", std::to_string(port)}, sandbox.environment(), copy.string());
    ASSERT_TRUE(wait_for_listener(port, headless)) << headless.stderr_so_far();
    auto status = http_request(port, "GET", "/status");
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(status->status, 200);
}

// A file in the module's place that is no module: the report carries the loader's reason.
TEST_F(AgentCopy, AModuleThatCannotBeLoadedIsNamed) {
    std::ofstream(module) << "not a shared object";
    AgentProcess agent({"--port", std::to_string(free_port())}, sandbox.environment(), copy.string());
    const Exit exit = agent.wait();
    EXPECT_EQ(exit.code, 1);
    EXPECT_THAT(exit.err, HasSubstr("parvello failed: cannot load the desktop module: " + module.string() + ": "));
    EXPECT_THAT(exit.err, HasSubstr("; use --no-tray to run without the desktop\n"));
}

}  // namespace
}  // namespace e2e
