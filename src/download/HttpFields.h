#pragma once
// Strict readers of the answer fields a download trusts for its bytes. Each comes from a
// server that may lie or a proxy that may mangle, so anything not exactly well formed is
// refused rather than guessed at.
#include <QByteArray>
#include <QDateTime>
#include <optional>

namespace download {

// "bytes first-last/total": the bytes an answer carries and the size of the whole file.
struct ContentRange {
    qint64 first = 0;
    qint64 last = 0;
    qint64 total = -1;  // -1: "*", the server did not say
};
// Refuses signs, blanks inside numbers, overflow, last before first and last past the total.
std::optional<ContentRange> parseContentRange(const QByteArray& header);

// A decimal count of bytes; nothing else, not even a sign.
std::optional<qint64> parseByteCount(const QByteArray& text);

// The body length of the final answer. After a redirect Qt may fold the earlier answer's
// Content-Length into the final one ("0, 200000"): the last value is the final answer's.
// Without a redirect differing values are a broken answer. Absent: -1; malformed: nullopt.
std::optional<qint64> parseContentLength(const QByteArray& header, bool redirected);

// An HTTP date in its preferred form, "Wed, 21 Oct 2015 07:28:00 GMT", as UTC.
std::optional<QDateTime> parseHttpDate(const QByteArray& text);

}  // namespace download
