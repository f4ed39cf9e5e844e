#include "agent_process.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "pvo-test-support/free_port.hpp"

extern char** environ;

namespace e2e {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path Sandbox::config_file() const { return root_ / "config" / "parvello" / "config.toml"; }
fs::path Sandbox::log_file() const { return root_ / "data" / "parvello" / "parvello.log"; }

void Sandbox::write_config(const std::string& text) const {
    fs::create_directories(config_file().parent_path());
    std::ofstream(config_file(), std::ios::binary) << text;
}

fs::path Sandbox::copy_agent_without_module(const std::string& folder) const {
    const fs::path copy = root_ / folder / "parvello";
    fs::create_directories(copy.parent_path());
    fs::copy_file(PARVELLO_BINARY, copy);
    return copy;
}

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Sandbox::environment(const std::map<std::string, std::string>& extra) const {
    std::map<std::string, std::string> vars;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry = *e;
        auto eq = entry.find('=');
        if (eq == std::string::npos) continue;
        std::string name = entry.substr(0, eq);
        if (name.rfind("PARVELLO_", 0) == 0 || name == "NO_COLOR" || name == "DISPLAY" || name == "WAYLAND_DISPLAY")
            continue;
        vars[name] = entry.substr(eq + 1);
    }
    vars["HOME"] = root_.string();
    vars["XDG_CONFIG_HOME"] = (root_ / "config").string();
    vars["XDG_DATA_HOME"] = (root_ / "data").string();
    for (const auto& [k, v] : extra) vars[k] = v;
    std::vector<std::string> out;
    for (const auto& [k, v] : vars) out.push_back(k + "=" + v);
    return out;
}

AgentProcess::AgentProcess(const std::vector<std::string>& args, const std::vector<std::string>& env,
                           const std::string& binary) {
    int out_pipe[2], err_pipe[2];
    if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

    std::vector<std::string> argv_storage{binary};
    argv_storage.insert(argv_storage.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (auto& a : argv_storage) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_storage = env;
    for (auto& e : env_storage) envp.push_back(e.data());
    envp.push_back(nullptr);

    const int rc = ::posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    out_fd_ = out_pipe[0];
    err_fd_ = err_pipe[0];
    if (rc != 0) throw std::runtime_error(std::string("posix_spawn: ") + std::strerror(rc));
    ::fcntl(out_fd_, F_SETFL, O_NONBLOCK);
    ::fcntl(err_fd_, F_SETFL, O_NONBLOCK);
}

AgentProcess::~AgentProcess() {
    if (running()) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (out_fd_ >= 0) ::close(out_fd_);
    if (err_fd_ >= 0) ::close(err_fd_);
}

void AgentProcess::drain(bool block_until_eof) {
    char buffer[4096];
    bool out_open = out_fd_ >= 0, err_open = err_fd_ >= 0;
    while (out_open || err_open) {
        pollfd fds[2] = {{out_open ? out_fd_ : -1, POLLIN, 0}, {err_open ? err_fd_ : -1, POLLIN, 0}};
        if (::poll(fds, 2, block_until_eof ? 1000 : 0) <= 0) {
            if (!block_until_eof) return;
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0) continue;
            const int fd = i == 0 ? out_fd_ : err_fd_;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                (i == 0 ? out_ : err_).append(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                (i == 0 ? out_open : err_open) = false;
        }
    }
}

bool AgentProcess::running() {
    if (status_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
        return false;
    }
    return true;
}

std::string AgentProcess::stderr_so_far() {
    drain(false);
    return err_;
}

bool AgentProcess::wait_for_stderr(const std::string& text, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        if (stderr_so_far().find(text) != std::string::npos) return true;
        if (!running()) return stderr_so_far().find(text) != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

Exit AgentProcess::wait(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (running() && Clock::now() < deadline) {
        drain(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (running()) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        status_ = status;
    }
    drain(true);
    Exit exit;
    exit.code = WIFEXITED(*status_) ? WEXITSTATUS(*status_) : -1;
    exit.out = out_;
    exit.err = err_;
    return exit;
}

Exit AgentProcess::stop() {
    if (running()) ::kill(pid_, SIGTERM);
    return wait();
}

Exit run_agent(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    AgentProcess agent(args, env);
    return agent.wait();
}

unsigned short free_port() { return pvo_test_support::free_port(); }

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

}  // namespace

int connect_loopback(unsigned short port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    timeval tv{20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

bool wait_for_listener(unsigned short port, AgentProcess& agent, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline && agent.running()) {
        const int fd = connect_loopback(port);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::optional<std::string> HttpResponse::header(const std::string& name) const {
    auto it = headers.find(lower(name));
    if (it == headers.end()) return std::nullopt;
    return it->second;
}

std::optional<HttpResponse> http_request(unsigned short port, const std::string& method, const std::string& target,
                                         const std::vector<std::string>& headers, const std::string& body) {
    const int fd = connect_loopback(port);
    if (fd < 0) return std::nullopt;
    std::string request =
        method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\nConnection: close\r\n";
    for (const auto& h : headers) request += h + "\r\n";
    if (!body.empty() || method == "POST") request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    request += "\r\n" + body;
    std::size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    std::string raw;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        raw.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);

    const auto head_end = raw.find("\r\n\r\n");
    if (head_end == std::string::npos) return std::nullopt;
    HttpResponse response;
    std::istringstream head(raw.substr(0, head_end));
    std::string line;
    std::getline(head, line);
    if (line.size() < 12) return std::nullopt;
    response.status = std::stoi(line.substr(9, 3));
    while (std::getline(head, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        response.headers.emplace(lower(line.substr(0, colon)), value);
    }
    response.body = raw.substr(head_end + 4);
    return response;
}

}  // namespace e2e
