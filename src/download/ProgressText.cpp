#include "download/ProgressText.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace download {

namespace {
constexpr qint64 kWindowMs = 3000;
constexpr qint64 kShortestSpanMs = 250;
}  // namespace

QString formatBytes(qint64 bytes) {
    if (bytes < 1024) return QStringLiteral("%1 bytes").arg(bytes);
    static constexpr std::array units{"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1024.0;
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < units.size()) {
        value /= 1024.0;
        ++unit;
    }
    const int decimals = value < 10.0 && unit >= 2 ? 2 : 1;
    return QStringLiteral("%1 %2").arg(value, 0, 'f', decimals).arg(units[unit]);
}

QString formatAmount(qint64 done, qint64 total) {
    if (total < 0) return QStringLiteral("%1 of unknown size").arg(formatBytes(done));
    return QStringLiteral("%1 of %2").arg(formatBytes(done), formatBytes(total));
}

QString formatDuration(qint64 seconds) {
    const qint64 hours = seconds / 3600;
    const qint64 minutes = seconds / 60 % 60;
    const qint64 rest = seconds % 60;
    if (hours > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(hours)
            .arg(minutes, 2, 10, QLatin1Char('0'))
            .arg(rest, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(minutes).arg(rest, 2, 10, QLatin1Char('0'));
}

void RateMeter::reset() {
    samples_.clear();
}

void RateMeter::sample(qint64 elapsedMs, qint64 bytes) {
    samples_.emplace_back(elapsedMs, bytes);
    while (samples_.size() > 2 && elapsedMs - samples_[1].first >= kWindowMs) samples_.pop_front();
}

double RateMeter::bytesPerSecond() const {
    if (samples_.size() < 2) return -1.0;
    const auto& [firstMs, firstBytes] = samples_.front();
    const auto& [lastMs, lastBytes] = samples_.back();
    const qint64 span = lastMs - firstMs;
    if (span < kShortestSpanMs) return -1.0;
    return static_cast<double>(lastBytes - firstBytes) * 1000.0 / static_cast<double>(span);
}

qint64 RateMeter::secondsLeft(qint64 total) const {
    const double rate = bytesPerSecond();
    if (total < 0 || rate <= 0.0 || samples_.empty()) return -1;
    const qint64 remaining = std::max<qint64>(0, total - samples_.back().second);
    return static_cast<qint64>(std::ceil(static_cast<double>(remaining) / rate));
}

QString breakableText(const QString& text) {
    static const QString separators = QStringLiteral("/\\?&=._-");
    constexpr qsizetype kLongWord = 24;
    constexpr int kMostWithoutBreak = 16;
    const QChar zeroWidthSpace(0x200B);
    QString result;
    result.reserve(text.size() + text.size() / 4);
    qsizetype wordEnd = 0;  // past the word the character at i is in
    bool longWord = false;
    int sinceBreak = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        result += c;
        if (c.isSpace()) {
            sinceBreak = 0;
            continue;
        }
        // Each word's end is found once, at its first character.
        if (i >= wordEnd) {
            wordEnd = i;
            while (wordEnd < text.size() && !text[wordEnd].isSpace()) ++wordEnd;
            longWord = wordEnd - i > kLongWord;
        }
        ++sinceBreak;
        if (longWord && i + 1 != wordEnd && !c.isHighSurrogate() &&
            (separators.contains(c) || sinceBreak >= kMostWithoutBreak)) {
            result += zeroWidthSpace;
            sinceBreak = 0;
        }
    }
    return result;
}

}  // namespace download
