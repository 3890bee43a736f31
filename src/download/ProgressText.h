#pragma once
// The texts of the progress window, and the speed estimate behind "time left".
#include <QString>
#include <QtGlobal>
#include <deque>
#include <utility>

namespace download {

// "0 bytes", "512 bytes", "1.5 KB", "64.0 MB", "2.10 GB" (units of 1024).
QString formatBytes(qint64 bytes);
// "12.3 MB of 64.0 MB", or "12.3 MB of unknown size" when total < 0.
QString formatAmount(qint64 done, qint64 total);
// "0:07", "12:34", "1:02:03".
QString formatDuration(qint64 seconds);
// `text` with zero-width spaces where a wrapped line may break inside a long word (a path, an
// address, a server's phrase without blanks): after its separators, or after every few
// characters where it has none. Short words stay as they are. Linear in the text's length.
QString breakableText(const QString& text);

// Bytes per second over the last few seconds, so a short burst or pause does not swing the
// estimate, while a lasting change shows within seconds.
class RateMeter {
  public:
    void reset();
    void sample(qint64 elapsedMs, qint64 bytes);
    // Negative while too little time has passed to say.
    double bytesPerSecond() const;
    // Seconds until `total`; negative when unknown.
    qint64 secondsLeft(qint64 total) const;

  private:
    std::deque<std::pair<qint64, qint64>> samples_;  // (elapsed ms, bytes)
};

}  // namespace download
