#pragma once
// Which failures of a transfer are worth another try, and how long to wait before it.
#include <QByteArray>
#include <QDateTime>
#include <chrono>
#include <optional>
#include <vector>

namespace download {

struct RetryPolicy {
    // Tries in a row that brought no new byte before the transfer gives up.
    int retriesWithoutProgress = 3;
    // Tries of one file in one run however far each got: a server that sends a little
    // every time must not keep a run going for ever.
    int mostTries = 20;
    // Pauses before the first, second, third... retry in a row; the last one repeats.
    std::vector<std::chrono::milliseconds> pauses{std::chrono::seconds(1), std::chrono::seconds(3),
                                                  std::chrono::seconds(8)};
    // A server's Retry-After is honoured up to this.
    std::chrono::milliseconds longestRetryAfter = std::chrono::seconds(30);

    // The pause before retry number `retry` in a row (1 for the first), or the server's wish.
    std::chrono::milliseconds pauseBefore(
        int retry, std::optional<std::chrono::milliseconds> retryAfter) const;
};

class Clock;

// What bounds each try of a file in a run.
struct RunLimits {
    // A try that receives nothing for this long fails.
    std::chrono::milliseconds stallTimeout;
    int maxRedirects;
    RetryPolicy retry;
    // A try that receives less than this many bytes a second over a whole window fails as
    // well: a trickle restarts the stall timeout with every byte.
    qint64 slowestBytesPerSecond = 1024;
    std::chrono::milliseconds rateWindow{60'000};
    Clock* clock = nullptr;  // null: the system's
    // Files in transfer at once; more wait for one of them to end. Qt opens at most six
    // connections to one server, so more would only queue inside Qt with their stall
    // timers running.
    int overlap = 6;
    // A resumable file is synced to the disk after each stretch of this many bytes and the
    // note records how far: a resume after a power cut starts from there.
    qint64 syncStretch = 8 * 1024 * 1024;
};

// 408, 429 and the 5xx answers of a busy or restarting server.
bool isTransientStatus(int status);
// A Retry-After value: seconds, or an HTTP date compared with `now`.
std::optional<std::chrono::milliseconds> parseRetryAfter(const QByteArray& value,
                                                         const QDateTime& now);

}  // namespace download
