#include "support/VirtualDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cctype>

namespace {

// Xvfb writes its display number to the descriptor once it accepts clients.
std::string ReadDisplayNumber(int fd) {
    std::string number;
    pollfd p{fd, POLLIN, 0};
    char c = 0;
    while (poll(&p, 1, 30000) > 0 && read(fd, &c, 1) == 1 && c != '\n') {
        if (!std::isdigit(static_cast<unsigned char>(c))) return {};
        number += c;
    }
    return c == '\n' ? number : std::string();
}

}  // namespace

std::unique_ptr<VirtualDisplay> VirtualDisplay::Start(std::string& whyNot,
                                                      const std::vector<std::string>& extraArgs) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        whyNot = "cannot make a pipe for Xvfb";
        return nullptr;
    }
    fcntl(fds[1], F_SETFD, 0);  // the server inherits the write end
    // -noreset: a server that resets when its last client leaves refuses connections for a
    // moment, which tests connecting one after another would run into.
    std::vector<std::string> argv{"Xvfb",      "-displayfd", std::to_string(fds[1]),
                                  "-nolisten", "tcp",        "-noreset",
                                  "-screen",   "0",          "1024x768x24"};
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    auto server = ChildProcess::Start(argv);
    close(fds[1]);
    const std::string number = server ? ReadDisplayNumber(fds[0]) : std::string();
    close(fds[0]);
    if (!server || number.empty()) {
        whyNot = server ? "Xvfb did not come up" : "Xvfb cannot be started (is it installed?)";
        return nullptr;
    }
    return std::make_unique<VirtualDisplay>(std::move(*server), ":" + number);
}
