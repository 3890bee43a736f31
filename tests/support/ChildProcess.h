#pragma once
// A helper program a test starts (an X server, a window manager) and always ends again.
#include <sys/types.h>

#include <csignal>
#include <optional>
#include <string>
#include <vector>

class ChildProcess {
  public:
    // Starts argv[0] from PATH with extra "NAME=value" environment entries and its output
    // discarded; descriptors without close-on-exec are inherited. Nothing when it cannot start.
    static std::optional<ChildProcess> Start(const std::vector<std::string>& argv,
                                             const std::vector<std::string>& extraEnv = {});

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t pid() const { return pid_; }
    bool Exited();                    // reaps it when it has ended
    std::optional<int> Wait();        // its wait status once it has ended; nothing if reaped
    void Stop(int signal = SIGTERM);  // sends the signal and waits, killing it if it lingers

  private:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    pid_t pid_ = -1;
};
