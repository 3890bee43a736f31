#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <utility>

#include "support/Poll.h"

extern char** environ;

namespace {

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (std::string& text : texts) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

}  // namespace

std::optional<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv,
                                                const std::vector<std::string>& extraEnv) {
    std::vector<std::string> args = argv;
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    auto argp = Pointers(args);
    auto envp = Pointers(env);
    const int rc =
        posix_spawnp(&pid, args.front().c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return std::nullopt;
    return ChildProcess(pid);
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Stop();
        pid_ = std::exchange(other.pid_, -1);
    }
    return *this;
}

ChildProcess::~ChildProcess() {
    Stop();
}

bool ChildProcess::Exited() {
    if (pid_ <= 0) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == 0) return false;
    pid_ = -1;
    return true;
}

std::optional<int> ChildProcess::Wait() {
    if (pid_ <= 0) return std::nullopt;
    int status = 0;
    const pid_t ended = waitpid(std::exchange(pid_, -1), &status, 0);
    if (ended <= 0) return std::nullopt;
    return status;
}

void ChildProcess::Stop(int signal) {
    if (Exited()) return;
    kill(pid_, signal);
    if (testsupport::PollUntil([this] { return Exited(); }, std::chrono::seconds(10))) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}
