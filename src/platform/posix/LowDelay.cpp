#include "platform/LowDelay.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <set>

namespace platform {

namespace {

struct Endpoint {
    std::string address;
    int port = 0;
};

bool EndpointOf(const sockaddr_storage& raw, Endpoint& endpoint) {
    char text[INET6_ADDRSTRLEN] = {};
    if (raw.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(raw);
        if (!inet_ntop(AF_INET, &in.sin_addr, text, sizeof text)) return false;
        endpoint = {text, ntohs(in.sin_port)};
        return true;
    }
    if (raw.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(raw);
        if (IN6_IS_ADDR_V4MAPPED(&in6.sin6_addr)) {
            if (!inet_ntop(AF_INET, &in6.sin6_addr.s6_addr[12], text, sizeof text)) return false;
        } else if (!inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text)) {
            return false;
        }
        endpoint = {text, ntohs(in6.sin6_port)};
        return true;
    }
    return false;
}

struct TcpSocket {
    int fd = -1;
    bool listening = false;
    Endpoint local;
    Endpoint peer;  // port 0 while not connected
};

std::vector<TcpSocket> TcpSocketsOfProcess() {
    std::vector<TcpSocket> sockets;
#if defined(__linux__)
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) return sockets;
    const int own = dirfd(folder);
    while (const dirent* entry = readdir(folder)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == own) continue;
        int protocol = 0;
        socklen_t size = sizeof protocol;
        if (getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_PROTOCOL, &protocol, &size) != 0 ||
            protocol != IPPROTO_TCP)
            continue;
        TcpSocket socket;
        socket.fd = static_cast<int>(fd);
        int accepting = 0;
        size = sizeof accepting;
        socket.listening =
            getsockopt(socket.fd, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &size) == 0 && accepting;
        sockaddr_storage raw{};
        socklen_t length = sizeof raw;
        if (getsockname(socket.fd, reinterpret_cast<sockaddr*>(&raw), &length) == 0)
            EndpointOf(raw, socket.local);
        length = sizeof raw;
        if (getpeername(socket.fd, reinterpret_cast<sockaddr*>(&raw), &length) == 0)
            EndpointOf(raw, socket.peer);
        sockets.push_back(socket);
    }
    closedir(folder);
#endif
    return sockets;
}

bool IsOneOf(const Endpoint& endpoint, const std::vector<Peer>& peers) {
    return std::any_of(peers.begin(), peers.end(), [&endpoint](const Peer& peer) {
        return peer.port == endpoint.port &&
               (peer.addresses.empty() || std::find(peer.addresses.begin(), peer.addresses.end(),
                                                    endpoint.address) != peer.addresses.end());
    });
}

}  // namespace

int DisableSmallPacketDelay(const std::vector<Peer>& peers) {
    const std::vector<TcpSocket> sockets = TcpSocketsOfProcess();
    // A connection whose local port one of our own servers listens on was accepted by it.
    std::set<int> served;
    for (const TcpSocket& socket : sockets)
        if (socket.listening) served.insert(socket.local.port);
    int changed = 0;
    for (const TcpSocket& socket : sockets) {
        if (socket.listening || socket.peer.port == 0 || served.count(socket.local.port) ||
            !IsOneOf(socket.peer, peers))
            continue;
        const int on = 1;
        if (setsockopt(socket.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0) ++changed;
    }
    return changed;
}

}  // namespace platform
