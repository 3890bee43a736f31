#include "demo/ServeSite.h"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include <pthread.h>

#include "support/LocalHttpServer.h"

namespace demo {

namespace {

// The port file appears whole or not at all: a script polling for it never reads half.
void WritePortFile(const std::string& portFile, int port) {
    const std::string temporary = portFile + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << port << "\n";
        if (!out) throw std::runtime_error("cannot write " + temporary);
    }
    std::filesystem::rename(temporary, portFile);
}

sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    return signals;
}

}  // namespace

int ServeSite(const std::string& siteDir, const std::string& portFile) {
    if (!std::filesystem::is_directory(siteDir)) {
        std::cerr << "no site at " << siteDir << "\n";
        return 2;
    }
    // Blocked before the server's thread starts, so only this thread ever takes them.
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    testsupport::LocalHttpServer server;
    server.serveFolder("/", siteDir);
    if (!portFile.empty()) WritePortFile(portFile, server.port());
    std::cout << "Serving " << siteDir << " at " << server.baseUrl() << std::endl;

    std::size_t reported = 0;
    const timespec tick{0, 100'000'000};
    for (;;) {
        const int received = sigtimedwait(&signals, nullptr, &tick);
        const auto requests = server.requests();
        for (; reported < requests.size(); ++reported)
            std::cout << requests[reported].method << " " << requests[reported].target << std::endl;
        if (received == SIGTERM || received == SIGINT) break;
    }
    server.stop();
    std::cout << "Stopped" << std::endl;
    return 0;
}

}  // namespace demo
