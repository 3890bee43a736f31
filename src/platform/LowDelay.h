#pragma once
// Turns the small-packet delay (Nagle's algorithm) off on the TCP connections this process
// opened to the given peers. Qt's HTTP connections keep it on, so a small write that follows
// another not yet acknowledged (a request right after the TLS handshake's last message, the
// second of two HTTP/2 frames) waits a whole round trip for that acknowledgement. Setting it
// also sends at once what the delay already holds.
#include <string>
#include <vector>

namespace platform {

struct Peer {
    int port = 0;
    // Numeric addresses ("127.0.0.1", "::1"); empty: any address on that port.
    std::vector<std::string> addresses;
};

// Only outgoing connections count: listening sockets, and connections accepted by a server
// of this process, are left as they are, and so is every connection to another peer. Returns
// how many it changed; 0 where the system gives no list of a process's sockets.
int DisableSmallPacketDelay(const std::vector<Peer>& peers);

}  // namespace platform
