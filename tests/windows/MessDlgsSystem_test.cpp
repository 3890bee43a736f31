// The message dialog on Windows looks like the system's own: its texts in the message font the
// system's non-client metrics name, its icons the system's stock icons.
#include <gtest/gtest.h>

#include <windows.h>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <cstddef>
#include <cstdlib>
#include <map>

#include "gui/MessDlgs.h"

namespace {

// The message font as the system names it, asked with the record size every Windows since
// 2000 accepts (the record without its last field).
LOGFONTA SystemMessageLogFont() {
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = offsetof(NONCLIENTMETRICSA, iPaddedBorderWidth);
    EXPECT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0));
    return metrics.lfMessageFont;
}

// The face GDI picks for it: the record may name a logical face ("MS Shell Dlg") that only
// the system's font substitutes resolve.
std::string FaceGdiCreates(const LOGFONTA& log) {
    HFONT font = CreateFontIndirectA(&log);
    HDC screen = GetDC(nullptr);
    const HGDIOBJ previous = SelectObject(screen, font);
    char face[LF_FACESIZE] = {};
    GetTextFaceA(screen, LF_FACESIZE, face);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    DeleteObject(font);
    return face;
}

QImage StockIcon(int id) {
    HICON icon = LoadIconA(nullptr, MAKEINTRESOURCEA(id));
    EXPECT_NE(icon, nullptr) << id;
    return QImage::fromHICON(icon).convertToFormat(QImage::Format_ARGB32);
}

QImage ShownIcon(const TMessageForm& form) {
    const auto* image = form.findChild<QLabel*>(QStringLiteral("Image"));
    if (!image) return {};
    return image->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

TEST(MessDlgsSystem, TextsUseTheSystemsMessageFont) {
    const LOGFONTA system = SystemMessageLogFont();
    ASSERT_NE(system.lfFaceName[0], '\0');
    const auto form =
        CreateMessageDialog("Download the latest version?", mtConfirmation, mbYesNo, 9);

    // The face GDI really uses, not a logical name that Qt alone would resolve to a fallback.
    const QFont used = form->font();
    EXPECT_EQ(used.family().toStdString(), FaceGdiCreates(system));
    if (system.lfHeight < 0) {
        EXPECT_EQ(used.pixelSize(), -system.lfHeight);
    }
    EXPECT_EQ(used.bold(), system.lfWeight >= FW_BOLD);
    // The label and the buttons take the form's font, so the measured layout is what is drawn.
    const auto* message = form->findChild<QLabel*>(QStringLiteral("Message"));
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->font(), form->font());
    for (const auto* button : form->findChildren<QPushButton*>())
        EXPECT_EQ(button->font(), form->font()) << button->objectName().toStdString();
}

TEST(MessDlgsSystem, EachTypeShowsItsStockIcon) {
    // IDI_EXCLAMATION, IDI_HAND, IDI_ASTERISK, IDI_QUESTION.
    const std::map<DialogType, int> stock{
        {mtWarning, 32515}, {mtError, 32513}, {mtInformation, 32516}, {mtConfirmation, 32514}};
    std::map<DialogType, QImage> shown;
    for (const auto& [type, id] : stock) {
        const auto form = CreateMessageDialog("Text", type, mbOK, 9);
        shown[type] = ShownIcon(*form);
        ASSERT_FALSE(shown[type].isNull()) << id;
        EXPECT_EQ(shown[type].size(), QSize(32, 32)) << id;
        EXPECT_EQ(shown[type], StockIcon(id).scaled(32, 32)) << id;
    }
    // The four pictures are told apart, so no type falls back to another's icon.
    EXPECT_NE(shown[mtWarning], shown[mtError]);
    EXPECT_NE(shown[mtInformation], shown[mtConfirmation]);
    EXPECT_NE(shown[mtWarning], shown[mtInformation]);

    const auto custom = CreateMessageDialog("Text", mtCustom, mbOK, 9);
    EXPECT_TRUE(ShownIcon(*custom).isNull());
}
