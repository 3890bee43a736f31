// Feeds a Retry-After value to its reader and the retry policy: a pause is never negative
// and never longer than the policy's cap, however large or odd the value.
#include <QByteArray>
#include <QDateTime>
#include <QTimeZone>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "download/RetryPolicy.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QDateTime now(QDate(2026, 12, 9), QTime(15, 0), QTimeZone::utc());
    const QByteArray value(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto wish = download::parseRetryAfter(value, now);
    if (wish && wish->count() < 0) std::abort();
    const download::RetryPolicy policy;
    const auto pause = policy.pauseBefore(1, wish);
    if (pause.count() < 0 || pause > policy.longestRetryAfter) std::abort();
    return 0;
}
