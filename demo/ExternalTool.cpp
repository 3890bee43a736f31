#include "demo/ExternalTool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace demo {

namespace {

class Pipe {
  public:
    Pipe() {
        if (pipe2(ends_, O_CLOEXEC) != 0)
            throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
    }
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int read() const { return ends_[0]; }
    int write() const { return ends_[1]; }
    void CloseRead() { Close(ends_[0]); }
    void CloseWrite() { Close(ends_[1]); }

  private:
    static void Close(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    int ends_[2] = {-1, -1};
};

class FileActions {
  public:
    FileActions() { posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_{};
};

std::string CommandLine(const std::vector<std::string>& argv) {
    std::string text;
    for (const auto& argument : argv) text += (text.empty() ? "" : " ") + argument;
    return text;
}

std::string HowItEnded(int status) {
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

}  // namespace

std::string RunTool(const std::vector<std::string>& argv) {
    if (argv.empty() || argv.front().empty()) throw std::runtime_error("no tool to run");
    std::vector<char*> pointers;
    for (const auto& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);

    // Both streams into one pipe, so an error reads in the order the tool wrote it.
    Pipe output;
    FileActions actions;
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.get(), output.write(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), output.write(), STDERR_FILENO);
    pid_t child = 0;
    const int spawned =
        posix_spawnp(&child, pointers.front(), actions.get(), nullptr, pointers.data(), environ);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + argv.front() + ": " + std::strerror(spawned));
    output.CloseWrite();

    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(output.read(), buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            throw std::runtime_error("lost " + argv.front() + ": " + std::strerror(errno));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(CommandLine(argv) + " failed (" + HowItEnded(status) +
                                 "): " + text);
    return text;
}

}  // namespace demo
