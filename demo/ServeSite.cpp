#include "demo/ServeSite.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
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
    // CORVALITE_SERVE_GATE="/path=FILE": that file of the site stays in flight, a byte at a
    // time, until FILE exists; a script holds a download open with it.
    if (const char* gate = std::getenv("CORVALITE_SERVE_GATE")) {
        const std::string rule = gate;
        const std::size_t equals = rule.find('=');
        if (equals == std::string::npos || rule.empty() || rule[0] != '/') {
            std::cerr << "CORVALITE_SERVE_GATE is not /path=FILE\n";
            return 2;
        }
        const std::string path = rule.substr(0, equals);
        const std::filesystem::path opens = rule.substr(equals + 1);
        std::ifstream in(std::filesystem::path(siteDir) / path.substr(1), std::ios::binary);
        if (!in) {
            std::cerr << "cannot read " << path << " of the site\n";
            return 2;
        }
        std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        server.serveGated(path, std::move(body),
                          [opens] { return std::filesystem::exists(opens); });
    }
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
