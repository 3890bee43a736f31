// The message font and stock icons: on Windows from the system's metrics and its stock icons,
// so the dialog looks like the system's own; elsewhere from the theme through the style.
#include "gui/MessDlgsSystem.h"

#include <cstddef>
#include <optional>

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

// The stock icons' numbers (IDI_HAND ...), spelled out so they do not depend on UNICODE.
const wchar_t* StockIconOf(DialogType type) {
    switch (type) {
        case DialogType::Warning:
            return MAKEINTRESOURCEW(32515);
        case DialogType::Error:
            return MAKEINTRESOURCEW(32513);
        case DialogType::Information:
            return MAKEINTRESOURCEW(32516);
        default:
            return MAKEINTRESOURCEW(32514);
    }
}

// The font GDI really creates from a LOGFONT: its face (the record may name a logical face such
// as "MS Shell Dlg", which only GDI's substitutes resolve) and its character height in pixels.
struct CreatedFont {
    QString face;
    int pixelHeight = 0;
};

std::optional<CreatedFont> CreateFromLogFont(const LOGFONTW& log) {
    HFONT font = CreateFontIndirectW(&log);
    if (!font) return std::nullopt;
    std::optional<CreatedFont> created;
    if (HDC screen = GetDC(nullptr)) {
        const HGDIOBJ previous = SelectObject(screen, font);
        wchar_t face[LF_FACESIZE] = {};
        TEXTMETRICW metrics{};
        if (GetTextFaceW(screen, LF_FACESIZE, face) > 0 && GetTextMetricsW(screen, &metrics))
            created = CreatedFont{QString::fromWCharArray(face),
                                  static_cast<int>(metrics.tmHeight - metrics.tmInternalLeading)};
        SelectObject(screen, previous);
        ReleaseDC(nullptr, screen);
    }
    DeleteObject(font);
    return created;
}

}  // namespace

QFont SystemMessageFont() {
    // The record without the field Vista added: every Windows accepts it.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = offsetof(NONCLIENTMETRICSW, iPaddedBorderWidth);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0))
        return QApplication::font("QMessageBox");
    const LOGFONTW& log = metrics.lfMessageFont;
    const std::optional<CreatedFont> created = CreateFromLogFont(log);
    if (!created) return QApplication::font("QMessageBox");
    QFont font(created->face);
    if (created->pixelHeight > 0) font.setPixelSize(created->pixelHeight);
    font.setWeight(log.lfWeight >= FW_BOLD ? QFont::Bold : QFont::Normal);
    font.setItalic(log.lfItalic != 0);
    return font;
}

QPixmap SystemMessageIcon(DialogType type, const QWidget& form, int size) {
    // Stock icons are shared by the system and must not be destroyed.
    if (HICON icon = LoadIconW(nullptr, StockIconOf(type))) {
        const QImage image = QImage::fromHICON(icon);
        if (!image.isNull())
            return QPixmap::fromImage(
                image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
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
