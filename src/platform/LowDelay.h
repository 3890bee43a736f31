#pragma once
// Turns the small-packet delay (Nagle's algorithm) off on every TCP socket of this process.
// Qt's HTTP connections keep it on, so a small write that follows another not yet
// acknowledged (a request right after the TLS handshake's last message, the second of two
// HTTP/2 frames) waits a whole round trip for that acknowledgement. Setting it also sends at
// once what the delay already holds. Returns how many sockets it changed; 0 where the
// system gives no list of a process's sockets.
namespace platform {

int DisableSmallPacketDelay();

}  // namespace platform
