#include "toolkit/DesignedFont.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <cstdlib>

namespace toolkit {

namespace {

constexpr const char* kFamily = "Tahoma";
// Texts of the main window's columns and their width in Tahoma at 13 pixels.
constexpr const char* kSample = "Corvalite Editor for PHP 2 present, 3 available Setup available";
constexpr int kSamplePixelSize = 13;
constexpr int kTahomaSampleWidth = 351;

// Narrow sans-serif families first: they keep the designed widths best.
const QStringList kStandIns{
    "DejaVu Sans Condensed", "Liberation Sans", "Arimo", "Noto Sans", "FreeSans", "DejaVu Sans"};

void ProvideTahoma() {
#ifndef Q_OS_WIN
    // Windows has Tahoma among its own fonts; elsewhere Wine's copy is the designed one.
    if (QFile::exists(kWineTahoma) && QFontDatabase::addApplicationFont(kWineTahoma) >= 0) return;
#endif
    if (QFontDatabase::hasFamily(kFamily)) return;
    const QString standIn = ClosestToTahoma(kStandIns);
    if (!standIn.isEmpty()) QFont::insertSubstitution(kFamily, standIn);
}

}  // namespace

QString ClosestToTahoma(const QStringList& candidates) {
    QString best;
    int bestDistance = 0;
    for (const QString& family : candidates) {
        if (!QFontDatabase::hasFamily(family)) continue;
        QFont font(family);
        font.setPixelSize(kSamplePixelSize);
        const int distance =
            std::abs(QFontMetrics(font).horizontalAdvance(kSample) - kTahomaSampleWidth);
        if (best.isEmpty() || distance < bestDistance) {
            best = family;
            bestDistance = distance;
        }
    }
    return best;
}

QFont DesignedFont(int pixelSize) {
    static const bool provided = (ProvideTahoma(), true);
    (void)provided;
    QFont font(kFamily);
    font.setPixelSize(pixelSize);
    return font;
}

}  // namespace toolkit
