#pragma once
// Runs the built agent as a child process with a chosen environment, and speaks plain HTTP to
// it over loopback sockets.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "pvo-test-support/temp_dir.hpp"

namespace e2e {

// A private set of XDG folders so no test touches the user's settings or log.
class Sandbox {
public:
    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path config_file() const;
    std::filesystem::path log_file() const;
    void write_config(const std::string& text) const;
    // A copy of the built agent in the folder `folder` of the sandbox, where no desktop
    // module lies beside it; returns the copy's path.
    std::filesystem::path copy_agent_without_module(const std::string& folder) const;
    // The environment for the child: the sandbox's XDG folders, no PARVELLO_* or NO_COLOR
    // inherited; entries of `extra` added or replaced.
    std::vector<std::string> environment(const std::map<std::string, std::string>& extra = {}) const;

private:
    pvo_test_support::TempDir temp_;
    const std::filesystem::path& root_ = temp_.path();
};

// The whole content of a file; empty when it cannot be read.
std::string read_text(const std::filesystem::path& path);

struct Exit {
    int code = -1;  // -1 when ended by a signal
    std::string out;
    std::string err;
};

class AgentProcess {
public:
    // `binary` is the built agent unless a test runs a copy of it from elsewhere.
    AgentProcess(const std::vector<std::string>& args, const std::vector<std::string>& env,
                 const std::string& binary = PARVELLO_BINARY);
    ~AgentProcess();  // kills the child if it still runs
    AgentProcess(const AgentProcess&) = delete;
    AgentProcess& operator=(const AgentProcess&) = delete;

    // Waits for the child to end (killing it after `limit`) and returns its exit and output.
    Exit wait(std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Sends SIGTERM and waits.
    Exit stop();
    bool running();
    pid_t pid() const { return pid_; }
    // Standard error read so far (non-blocking).
    std::string stderr_so_far();
    // Waits until standard error holds `text`, or the process ends, or the limit passes.
    bool wait_for_stderr(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(20));

private:
    void drain(bool block_until_eof);
    pid_t pid_ = -1;
    int out_fd_ = -1, err_fd_ = -1;
    std::string out_, err_;
    std::optional<int> status_;
};

// Runs the agent to completion.
Exit run_agent(const std::vector<std::string>& args, const std::vector<std::string>& env);

// A loopback port that was free a moment ago, from outside the range the kernel picks ports
// from itself (see pvo-test-support/free_port.hpp).
unsigned short free_port();

// A connection to 127.0.0.1:port whose reads give up after 20 s; -1 when it is refused.
int connect_loopback(unsigned short port);

// Waits until something accepts on 127.0.0.1:port, or the process ends, or the limit passes.
bool wait_for_listener(unsigned short port, AgentProcess& agent,
                       std::chrono::milliseconds limit = std::chrono::seconds(20));

struct HttpResponse {
    int status = 0;
    std::multimap<std::string, std::string> headers;  // names in lower case
    std::string body;
    std::optional<std::string> header(const std::string& name) const;
};

// Sends one raw HTTP/1.1 request (with "Connection: close") and reads the whole answer.
std::optional<HttpResponse> http_request(unsigned short port, const std::string& method, const std::string& target,
                                         const std::vector<std::string>& headers = {}, const std::string& body = {});

}  // namespace e2e
