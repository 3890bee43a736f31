#include "download/RetryPolicy.h"

#include <QLocale>
#include <QTimeZone>
#include <algorithm>

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
    bool isNumber = false;
    const qlonglong seconds = text.toLongLong(&isNumber);
    if (isNumber)
        return seconds < 0 ? std::nullopt
                           : std::optional(std::chrono::milliseconds(seconds * 1000));
    // IMF-fixdate, as in "Wed, 21 Oct 2015 07:28:00 GMT".
    QDateTime when =
        QLocale::c().toDateTime(QString::fromLatin1(text.chopped(text.endsWith(" GMT") ? 4 : 0)),
                                "ddd, dd MMM yyyy HH:mm:ss");
    if (!when.isValid()) return std::nullopt;
    when.setTimeZone(QTimeZone::utc());
    return std::chrono::milliseconds(std::max<qint64>(0, now.msecsTo(when)));
}

}  // namespace download
