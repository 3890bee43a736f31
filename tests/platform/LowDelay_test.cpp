// The small-packet delay goes off on the process's own connections to the peers named, and
// only on them: not on listening sockets, connections a server of ours accepted, or
// connections to anyone else.
#include <gtest/gtest.h>

#include "platform/LowDelay.h"

// Elsewhere the system gives no list of a process's sockets.
#if defined(__linux__)
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int NoDelayOf(int fd) {
    int value = -1;
    socklen_t size = sizeof value;
    getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &value, &size);
    return value;
}

// A listening socket on loopback, a connection to it, and the server's end of that.
struct Loop {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int client = socket(AF_INET, SOCK_STREAM, 0);
    int served = -1;
    int port = 0;

    Loop() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener, 1);
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
        served = accept(listener, nullptr, nullptr);
    }
    ~Loop() {
        for (const int fd : {listener, client, served}) close(fd);
    }
};

}  // namespace

TEST(LowDelay, OnlyTheConnectionsToTheNamedPeersChange) {
    const Loop ours;
    const Loop other;
    ASSERT_GE(ours.served, 0);
    ASSERT_EQ(NoDelayOf(ours.client), 0);

    EXPECT_EQ(platform::DisableSmallPacketDelay({{ours.port, {"10.0.0.1"}}}), 0);
    EXPECT_EQ(NoDelayOf(ours.client), 0);
    EXPECT_EQ(platform::DisableSmallPacketDelay({{ours.port, {"127.0.0.1"}}}), 1);

    EXPECT_EQ(NoDelayOf(ours.client), 1);
    for (const int untouched :
         {ours.listener, ours.served, other.listener, other.client, other.served})
        EXPECT_EQ(NoDelayOf(untouched), 0) << untouched;
    // By port alone, when the peer was named by host name.
    EXPECT_EQ(platform::DisableSmallPacketDelay({{other.port, {}}}), 1);
    EXPECT_EQ(NoDelayOf(other.client), 1);
    EXPECT_EQ(NoDelayOf(other.served), 0);
}

#endif
