#include "download/RetryPolicy.h"

#include <algorithm>
#include "download/HttpFields.h"

namespace download {

std::chrono::milliseconds RetryPolicy::pauseBefore(
    int retry, std::optional<std::chrono::milliseconds> retryAfter) const {
    if (retryAfter) return std::clamp(*retryAfter, std::chrono::milliseconds(0), longestRetryAfter);
    if (pauses.empty()) return std::chrono::milliseconds(0);
    const auto index = static_cast<std::size_t>(std::max(retry, 1) - 1);
    return pauses[std::min(index, pauses.size() - 1)];
}

bool isTransientStatus(int status) {
    switch (status) {
        case 408:
        case 429:
        case 500:
        case 502:
        case 503:
        case 504:
            return true;
        default:
            return false;
    }
}

std::optional<std::chrono::milliseconds> parseRetryAfter(const QByteArray& value,
                                                         const QDateTime& now) {
    const QByteArray text = value.trimmed();
    if (text.isEmpty()) return std::nullopt;
    // delay-seconds: digits only. Any count past what a pause can hold saturates; the
    // policy's own cap then applies.
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        constexpr qint64 kMostSeconds = std::chrono::milliseconds::max().count() / 1000;
        qint64 seconds = 0;
        for (const char c : text) {
            seconds = seconds * 10 + (c - '0');
            if (seconds >= kMostSeconds) return std::chrono::milliseconds::max();
        }
        return std::chrono::milliseconds(seconds * 1000);
    }
    // IMF-fixdate, as in "Wed, 21 Oct 2015 07:28:00 GMT".
    const auto when = parseHttpDate(text);
    if (!when) return std::nullopt;
    return std::chrono::milliseconds(std::max<qint64>(0, now.msecsTo(*when)));
}

}  // namespace download
