#include "download/HttpFields.h"

#include <QList>
#include <QLocale>
#include <QTimeZone>
#include <limits>

namespace download {

std::optional<qint64> parseByteCount(const QByteArray& text) {
    if (text.isEmpty()) return std::nullopt;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const int digit = c - '0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<ContentRange> parseContentRange(const QByteArray& header) {
    const QByteArray text = header.trimmed();
    if (!text.startsWith("bytes ")) return std::nullopt;
    const qsizetype dash = text.indexOf('-', 6);
    const qsizetype slash = text.indexOf('/', 6);
    if (dash < 0 || slash < dash) return std::nullopt;
    const auto first = parseByteCount(text.mid(6, dash - 6));
    const auto last = parseByteCount(text.mid(dash + 1, slash - dash - 1));
    if (!first || !last || *last < *first) return std::nullopt;
    const QByteArray size = text.mid(slash + 1);
    ContentRange range{*first, *last, -1};
    if (size != "*") {
        const auto total = parseByteCount(size);
        if (!total || *last >= *total) return std::nullopt;
        range.total = *total;
    }
    return range;
}

std::optional<qint64> parseContentLength(const QByteArray& header, bool redirected) {
    if (header.isNull()) return -1;
    const QList<QByteArray> values = header.split(',');
    std::optional<qint64> length;
    for (const QByteArray& value : values) {
        const auto parsed = parseByteCount(value.trimmed());
        if (!parsed) return std::nullopt;
        // One answer saying two different lengths cannot be believed in either.
        if (!redirected && length && *length != *parsed) return std::nullopt;
        length = parsed;
    }
    return length;
}

std::optional<QDateTime> parseHttpDate(const QByteArray& text) {
    if (!text.endsWith(" GMT")) return std::nullopt;
    QDateTime when =
        QLocale::c().toDateTime(QString::fromLatin1(text.chopped(4)), "ddd, dd MMM yyyy HH:mm:ss");
    if (!when.isValid()) return std::nullopt;
    when.setTimeZone(QTimeZone::utc());
    return when;
}

}  // namespace download
