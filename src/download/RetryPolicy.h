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
    // Pauses before the first, second, third... retry in a row; the last one repeats.
    std::vector<std::chrono::milliseconds> pauses{std::chrono::seconds(1), std::chrono::seconds(3),
                                                  std::chrono::seconds(8)};
    // A server's Retry-After is honoured up to this.
    std::chrono::milliseconds longestRetryAfter = std::chrono::seconds(30);

    // The pause before retry number `retry` in a row (1 for the first), or the server's wish.
    std::chrono::milliseconds pauseBefore(
        int retry, std::optional<std::chrono::milliseconds> retryAfter) const;
};

// 408, 429 and the 5xx answers of a busy or restarting server.
bool isTransientStatus(int status);
// A Retry-After value: seconds, or an HTTP date compared with `now`.
std::optional<std::chrono::milliseconds> parseRetryAfter(const QByteArray& value,
                                                         const QDateTime& now);

}  // namespace download
