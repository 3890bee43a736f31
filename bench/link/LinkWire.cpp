// The emulated link of the link benchmark: two TUN devices, one in each of two network
// namespaces, and every IP packet that leaves one is written into the other after half the
// round-trip time, optionally dropped at random, and optionally no faster than a given
// bandwidth: each direction sends its packets one after another at that rate from a queue of
// at most 256 KiB, dropping what does not fit, as a router does. The kernel here has no
// netem; this is the whole of what the benchmark needs from it.
//
//   bench_link_wire <ns-path A> <dev A> <ns-path B> <dev B> <one-way ms> <loss %> [bytes/s]
//
// A bandwidth of 0 or none is unlimited.
//
// Prints "ready" once both devices exist; runs until SIGTERM or SIGINT.
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t stopping = 0;

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "bench_link_wire: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

// Opens the TUN device `name` inside the namespace at `nsPath`; the descriptor stays bound to
// the device wherever this thread moves afterwards.
int OpenTun(const char* nsPath, const char* name) {
    const int ns = open(nsPath, O_RDONLY | O_CLOEXEC);
    if (ns < 0 || setns(ns, CLONE_NEWNET) != 0) Die(std::string("enter ") + nsPath);
    close(ns);
    const int fd = open("/dev/net/tun", O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) Die("open /dev/net/tun");
    ifreq request{};
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    if (ioctl(fd, TUNSETIFF, &request) != 0) Die(std::string("create ") + name);
    return fd;
}

// With CORVALITE_WIRE_LOG set, one line per IPv4 TCP packet: time, direction, ports, flags
// and payload length; enough to count the round trips of a run by hand.
void LogPacket(std::FILE* log, Clock::time_point start, int direction, const char* packet,
               ssize_t size) {
    if (log == nullptr || size < 40 || (packet[0] >> 4) != 4 || packet[9] != 6) return;
    const auto at = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const int ipHeader = (packet[0] & 0x0f) * 4;
    const auto* tcp = reinterpret_cast<const unsigned char*>(packet + ipHeader);
    const int from = tcp[0] << 8 | tcp[1];
    const int to = tcp[2] << 8 | tcp[3];
    const int tcpHeader = (tcp[12] >> 4) * 4;
    const int flags = tcp[13];
    std::fprintf(log, "%10.3f %s %5d>%-5d %s%s%s%s len %zd\n", at, direction == 0 ? "->" : "<-",
                 from, to, flags & 0x02 ? "S" : "", flags & 0x01 ? "F" : "",
                 flags & 0x08 ? "P" : "", flags & 0x04 ? "R" : "", size - ipHeader - tcpHeader);
}

struct Held {
    Clock::time_point due;
    std::vector<char> packet;
};

constexpr std::size_t kQueueBytes = 256 * 1024;

// One direction: packets leave in arrival order and all wait the same delay after, so a
// queue suffices; `sending` holds the sizes and departures of those still queued for the
// bandwidth.
struct Direction {
    int from;
    int to;
    std::deque<Held> held;
    std::deque<std::pair<Clock::time_point, std::size_t>> sending;
    std::size_t queued = 0;
    Clock::time_point lastDeparture{};

    // When a packet of `size` bytes arriving now has left at `bytesPerSecond`, or nothing
    // when the queue is full.
    std::optional<Clock::time_point> depart(Clock::time_point now, std::size_t size,
                                            double bytesPerSecond) {
        if (bytesPerSecond <= 0) return now;
        while (!sending.empty() && sending.front().first <= now) {
            queued -= sending.front().second;
            sending.pop_front();
        }
        if (queued + size > kQueueBytes) return std::nullopt;
        const auto sendTime = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(double(size) / bytesPerSecond));
        lastDeparture = std::max(now, lastDeparture) + sendTime;
        sending.emplace_back(lastDeparture, size);
        queued += size;
        return lastDeparture;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7 && argc != 8) {
        std::fprintf(stderr,
                     "usage: %s <ns A> <dev A> <ns B> <dev B> <one-way ms> <loss %%> [bytes/s]\n",
                     argv[0]);
        return 2;
    }
    const auto delay = std::chrono::microseconds(static_cast<long>(std::atof(argv[5]) * 1000));
    const double loss = std::atof(argv[6]) / 100.0;
    const double bandwidth = argc == 8 ? std::atof(argv[7]) : 0.0;
    const int a = OpenTun(argv[1], argv[2]);
    const int b = OpenTun(argv[3], argv[4]);
    std::signal(SIGTERM, [](int) { stopping = 1; });
    std::signal(SIGINT, [](int) { stopping = 1; });
    std::printf("ready\n");
    std::fflush(stdout);

    const char* logPath = std::getenv("CORVALITE_WIRE_LOG");
    if (logPath != nullptr && *logPath == '\0') logPath = nullptr;
    std::FILE* log = logPath != nullptr ? std::fopen(logPath, "w") : nullptr;
    const auto start = Clock::now();
    std::mt19937_64 random(0x5eed);
    std::uniform_real_distribution<double> dice(0.0, 1.0);
    Direction directions[2] = {{a, b, {}, {}, 0, {}}, {b, a, {}, {}, 0, {}}};
    std::vector<char> buffer(65536);
    while (!stopping) {
        // Sleep until a packet arrives or the earliest held one is due.
        timespec wait{1, 0};
        const auto now = Clock::now();
        for (const auto& direction : directions) {
            if (direction.held.empty()) continue;
            const auto left = std::max(direction.held.front().due - now, Clock::duration::zero());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            const long long current = wait.tv_sec * 1'000'000'000LL + wait.tv_nsec;
            if (ns < current) wait = {static_cast<time_t>(ns / 1'000'000'000), ns % 1'000'000'000};
        }
        pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        if (ppoll(fds, 2, &wait, nullptr) < 0 && errno != EINTR) Die("poll");
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            for (;;) {
                const ssize_t got = read(directions[i].from, buffer.data(), buffer.size());
                if (got <= 0) break;
                LogPacket(log, start, i, buffer.data(), got);
                if (loss > 0 && dice(random) < loss) continue;
                const auto left =
                    directions[i].depart(Clock::now(), static_cast<std::size_t>(got), bandwidth);
                if (!left) continue;
                directions[i].held.push_back(
                    {*left + delay, std::vector<char>(buffer.begin(), buffer.begin() + got)});
            }
        }
        const auto after = Clock::now();
        for (auto& direction : directions) {
            while (!direction.held.empty() && direction.held.front().due <= after) {
                const auto& packet = direction.held.front().packet;
                // A full device queue drops the packet, as a congested link would.
                (void)!write(direction.to, packet.data(), packet.size());
                direction.held.pop_front();
            }
        }
    }
    if (log != nullptr) std::fclose(log);
    return 0;
}
