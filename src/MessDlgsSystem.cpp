// The message font and stock icons: on Windows from the system's metrics and its stock icons,
// so the dialog looks like the system's own; elsewhere from the theme through the style.
#include "MessDlgsSystem.h"

#include <cmath>

#include <QApplication>
#include <QIcon>
#include <QStyle>
#include <QWidget>

#ifdef _WIN32
#include <windows.h>
#endif

namespace messdlgs {

#ifdef _WIN32

namespace {

// The stock icons' numbers (IDI_HAND ...), spelled out: Qt builds with UNICODE, which would
// make the IDI_ names wide strings for LoadIconW.
const char* StockIconOf(DialogType type) {
    switch (type) {
        case DialogType::Warning:
            return MAKEINTRESOURCEA(32515);
        case DialogType::Error:
            return MAKEINTRESOURCEA(32513);
        case DialogType::Information:
            return MAKEINTRESOURCEA(32516);
        default:
            return MAKEINTRESOURCEA(32514);
    }
}

// Logical font height (pixels, negative for the character height) to points at the screen's DPI.
qreal PointsOf(LONG height) {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return std::abs(height) * 72.0 / (dpi > 0 ? dpi : 96);
}

}  // namespace

QFont SystemMessageFont() {
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof(metrics);
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        return QApplication::font("QMessageBox");
    const LOGFONTA& log = metrics.lfMessageFont;
    QFont font(QString::fromLocal8Bit(log.lfFaceName));
    if (log.lfHeight != 0) font.setPointSizeF(PointsOf(log.lfHeight));
    font.setWeight(log.lfWeight >= FW_BOLD ? QFont::Bold : QFont::Normal);
    font.setItalic(log.lfItalic != 0);
    return font;
}

QPixmap SystemMessageIcon(DialogType type, const QWidget& form, int size) {
    // Stock icons are shared by the system and must not be destroyed.
    if (HICON icon = LoadIconA(nullptr, StockIconOf(type))) {
        const QImage image = QImage::fromHICON(icon);
        if (!image.isNull())
            return QPixmap::fromImage(image.scaled(size, size, Qt::KeepAspectRatio,
                                                   Qt::SmoothTransformation));
    }
    const QIcon fallback = form.style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, &form);
    return fallback.pixmap(QSize(size, size), form.devicePixelRatioF());
}

#else

namespace {

QStyle::StandardPixmap IconOf(DialogType type) {
    switch (type) {
        case DialogType::Warning:
            return QStyle::SP_MessageBoxWarning;
        case DialogType::Error:
            return QStyle::SP_MessageBoxCritical;
        case DialogType::Information:
            return QStyle::SP_MessageBoxInformation;
        default:
            return QStyle::SP_MessageBoxQuestion;
    }
}

}  // namespace

QFont SystemMessageFont() {
    // The theme's message-box font; QApplication answers the application font without one.
    return QApplication::font("QMessageBox");
}

QPixmap SystemMessageIcon(DialogType type, const QWidget& form, int size) {
    const QIcon icon = form.style()->standardIcon(IconOf(type), nullptr, &form);
    return icon.pixmap(QSize(size, size), form.devicePixelRatioF());
}

#endif

}  // namespace messdlgs
