// The small-packet delay goes off on the process's TCP sockets, and only on them.
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

}  // namespace

TEST(LowDelay, TurnsTheDelayOffOnConnectedAndListeningTcpSockets) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int client = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    ASSERT_EQ(NoDelayOf(client), 0);

    EXPECT_GE(platform::DisableSmallPacketDelay(), 2);

    EXPECT_EQ(NoDelayOf(client), 1);
    EXPECT_EQ(NoDelayOf(listener), 1);
    for (const int fd : {listener, client, pair[0], pair[1]}) close(fd);
}

#endif
