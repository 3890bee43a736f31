// The real message dialog, offscreen: its controls, its keys and its results.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>

#include "gui/MessDlgs.h"
#include "gui/MessDlgsLayout.h"

namespace {

using Driver = std::function<void(TMessageForm&)>;

struct Call {
    std::string message = "Do you want to continue?";
    DialogType type = mtConfirmation;
    DialogButtons buttons = mbYesNo;
    int helpContext = 0;
    int left = -1;
    int top = -1;
    DialogLanguage language = 9;
};

// Runs MessageDialogPos for real and lets `drive` act on the dialog once it is up and active.
// A dialog that fails to close fails the test after a while instead of hanging it.
int RunModal(const Call& call, Driver drive) {
    bool driven = false;
    QTimer::singleShot(0, qApp, [drive, &driven] {
        driven = true;
        auto* form = qobject_cast<TMessageForm*>(QApplication::activeModalWidget());
        if (!form) {
            ADD_FAILURE() << "no modal message dialog";
            return;
        }
        QTimer::singleShot(20000, form, [form] {
            ADD_FAILURE() << "the dialog stayed open";
            form->done(-1);
        });
        EXPECT_TRUE(QTest::qWaitForWindowActive(form));
        drive(*form);
    });
    const int result = MessageDialogPos(call.message, call.type, call.buttons, call.helpContext,
                                        call.left, call.top, call.language);
    EXPECT_TRUE(driven) << "the dialog closed before the test could act";
    return result;
}

void Press(TMessageForm& form, Qt::Key key) {
    QTest::keyClick(form.windowHandle(), key);
}

Driver PressKey(Qt::Key key) {
    return [key](TMessageForm& form) { Press(form, key); };
}

Driver ClickButton(const char* name) {
    return [name](TMessageForm& form) {
        auto* button = form.findChild<QPushButton*>(name);
        ASSERT_NE(button, nullptr) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    };
}

// Escape (or any key) that must not end the dialog; the close box then ends it with 2.
Driver KeyIgnoredThenClose(Qt::Key key) {
    return [key](TMessageForm& form) {
        Press(form, key);
        QCoreApplication::processEvents();
        EXPECT_TRUE(form.isVisible()) << "key " << key << " ended the dialog";
        form.close();
    };
}

QStringList ButtonTexts(const QWidget& form) {
    QStringList texts;
    for (const QPushButton* b : form.findChildren<QPushButton*>()) texts << b->text();
    return texts;
}

QString FocusName() {
    const QWidget* focus = QApplication::focusWidget();
    return focus ? focus->objectName() : QString();
}

messdlgs::DialogMetrics MetricsOf(const QWidget& form) {
    const QFontMetrics fm(form.font());
    return messdlgs::ScaleDialogUnits(fm.horizontalAdvance(QStringLiteral(
                                          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                                          52,
                                      fm.height());
}

int HalfScreenWidth() {
    return QGuiApplication::primaryScreen()->geometry().width() / 2;
}

}  // namespace

TEST(MessDlgsForm, ConfirmationHasIconTextAndCentredYesNo) {
    const auto form = CreateMessageDialog("Really download again?", mtConfirmation, mbYesNo, 9);
    EXPECT_EQ(form->windowTitle(), "Confirm");
    const auto* image = form->findChild<QLabel*>("Image");
    const auto* message = form->findChild<QLabel*>("Message");
    ASSERT_TRUE(image && message);
    EXPECT_FALSE(image->pixmap().isNull());
    EXPECT_EQ(message->text(), "Really download again?");
    EXPECT_EQ(ButtonTexts(*form), (QStringList{"Yes", "No"}));

    const messdlgs::DialogMetrics m = MetricsOf(*form);
    EXPECT_EQ(image->geometry(), QRect(m.horzMargin, m.vertMargin, 32, 32));
    EXPECT_EQ(message->x(), m.horzMargin + 32 + m.horzSpacing);
    const auto* yes = form->findChild<QPushButton*>("Yes");
    const auto* no = form->findChild<QPushButton*>("No");
    EXPECT_EQ(yes->size(), QSize(m.buttonWidth, m.buttonHeight));
    EXPECT_EQ(no->x(), yes->x() + m.buttonWidth + m.buttonSpacing);
    EXPECT_EQ(yes->y(), std::max(32, message->height()) + m.vertMargin + m.vertSpacing);
    const int leftGap = yes->x();
    const int rightGap = form->width() - (no->x() + no->width());
    EXPECT_LE(std::abs(leftGap - rightGap), 1);
    EXPECT_EQ(form->minimumSize(), form->maximumSize()) << "the frame must not be resizable";
    EXPECT_TRUE(yes->isDefault());
    EXPECT_EQ(form->CancelButton(), no);
}

TEST(MessDlgsForm, ControlsUseTheMessageFontAndCarryNames) {
    const auto form = CreateMessageDialog("Font check", mtWarning, mbOK | mbHelp, 9);
    EXPECT_EQ(form->font(), QApplication::font("QMessageBox"));
    for (const QWidget* child : form->findChildren<QWidget*>()) {
        EXPECT_EQ(child->font(), form->font()) << child->objectName().toStdString();
        EXPECT_FALSE(child->objectName().isEmpty());
        EXPECT_FALSE(child->accessibleName().isEmpty()) << child->objectName().toStdString();
    }
    const Qt::WindowFlags flags = form->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
}

TEST(MessDlgsForm, CustomTypeHasNoIconAndTheApplicationTitle) {
    const auto form = CreateMessageDialog("Plain", mtCustom, mbOK, 4);
    EXPECT_EQ(form->findChild<QLabel*>("Image"), nullptr);
    EXPECT_EQ(form->windowTitle(), QApplication::applicationDisplayName());
    EXPECT_FALSE(form->windowTitle().isEmpty());
    EXPECT_EQ(form->findChild<QLabel*>("Message")->x(), MetricsOf(*form).horzMargin);
}

TEST(MessDlgsForm, LanguagesPickCaptionsAndButtonTexts) {
    const auto german = CreateMessageDialog("x", mtWarning, mbCancel | mbAbort, 4);
    EXPECT_EQ(german->windowTitle(), "Warnung");
    EXPECT_EQ(ButtonTexts(*german), (QStringList{"Abbrechen", "Abbrechen"}));
    const auto greek = CreateMessageDialog("x", mtInformation, mbOK, 7);
    EXPECT_EQ(greek->windowTitle(), "Πληροφορία");
    EXPECT_EQ(ButtonTexts(*greek), QStringList{"Εντάξει"});
    const auto disconnect = CreateMessageDialog("x", mtError, mbAbort | mbRetry, 10);
    EXPECT_EQ(disconnect->windowTitle(), "Error");
    EXPECT_EQ(ButtonTexts(*disconnect), (QStringList{"Disconnect", "Retry"}));
}

TEST(MessDlgsForm, BitsAboveTenAreIgnored) {
    const auto form = CreateMessageDialog("x", mtInformation, 0x0804, 9);
    EXPECT_EQ(ButtonTexts(*form), QStringList{"OK"});
}

TEST(MessDlgsForm, DefaultAndCancelFlagsFollowTheSet) {
    const auto ari = CreateMessageDialog("x", mtError, mbAbort | mbRetry | mbIgnore, 9);
    EXPECT_TRUE(ari->findChild<QPushButton*>("Retry")->isDefault());
    EXPECT_FALSE(ari->findChild<QPushButton*>("Abort")->isDefault());
    EXPECT_EQ(ari->CancelButton(), nullptr);
    const auto ok = CreateMessageDialog("x", mtInformation, mbOK, 9);
    EXPECT_TRUE(ok->findChild<QPushButton*>("OK")->isDefault());
    EXPECT_EQ(ok->CancelButton(), ok->findChild<QPushButton*>("OK"));
    const auto okCancel = CreateMessageDialog("x", mtWarning, mbOK | mbCancel | mbNo, 9);
    EXPECT_EQ(okCancel->CancelButton(), okCancel->findChild<QPushButton*>("Cancel"));
}

TEST(MessDlgsForm, EmptySetReservesTheButtonRow) {
    const auto form = CreateMessageDialog("Nothing to press", mtInformation, 0, 9);
    EXPECT_TRUE(form->findChildren<QPushButton*>().isEmpty());
    const messdlgs::DialogMetrics m = MetricsOf(*form);
    const int blockHeight = std::max(32, form->findChild<QLabel*>("Message")->height());
    EXPECT_EQ(form->height(), blockHeight + m.vertSpacing + m.buttonHeight + 2 * m.vertMargin);
}

TEST(MessDlgsForm, ShortMessageTakesTheButtonRowsWidth) {
    const auto form = CreateMessageDialog("Hi", mtCustom, mbYes | mbNo | mbCancel, 9);
    const messdlgs::DialogMetrics m = MetricsOf(*form);
    EXPECT_EQ(form->width(), 3 * m.buttonWidth + 2 * m.buttonSpacing + 2 * m.horzMargin);
    EXPECT_EQ(form->findChild<QPushButton*>("Yes")->x(), m.horzMargin);
}

TEST(MessDlgsForm, LongMessageWrapsWithinHalfTheScreen) {
    std::string message;
    for (int i = 0; i < 120; ++i) message += "download ";
    const auto form = CreateMessageDialog(message, mtInformation, mbOK, 9);
    const auto* label = form->findChild<QLabel*>("Message");
    const QFontMetrics fm(label->font());
    EXPECT_LE(label->width(), HalfScreenWidth());
    EXPECT_GE(label->height(), 3 * fm.height());
    // The label wraps its text into exactly the measured box, so nothing is cut off.
    EXPECT_EQ(
        fm.boundingRect(QRect(0, 0, label->width(), 0), Qt::TextWordWrap, label->text()).height(),
        label->height());
}

TEST(MessDlgsForm, WordWiderThanHalfTheScreenWidensTheText) {
    const std::string word(HalfScreenWidth() / 4, 'W');
    const auto form = CreateMessageDialog("Path: " + word, mtInformation, mbOK, 9);
    const auto* label = form->findChild<QLabel*>("Message");
    EXPECT_GT(label->width(), HalfScreenWidth());
    EXPECT_GE(label->width(),
              QFontMetrics(label->font()).horizontalAdvance(QString::fromStdString(word)));
}

TEST(MessDlgsForm, LineBreaksAndAmpersandsAreShownAsWritten) {
    const auto form = CreateMessageDialog("Tom & Jerry\nsecond line", mtInformation, mbOK, 9);
    const auto* label = form->findChild<QLabel*>("Message");
    EXPECT_EQ(label->text(), "Tom & Jerry\nsecond line");
    EXPECT_GE(label->height(), 2 * QFontMetrics(label->font()).height());
    const auto empty = CreateMessageDialog("", mtCustom, mbOK, 9);
    EXPECT_GE(empty->findChild<QLabel*>("Message")->width(), 0);
    EXPECT_GE(empty->findChild<QLabel*>("Message")->height(), 0);
}

TEST(MessDlgsForm, OpensCentredOnThePrimaryScreen) {
    const auto form = CreateMessageDialog("Centre", mtInformation, mbOK, 9);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect frame = form->frameGeometry();
    EXPECT_EQ(frame.x(), screen.width() / 2 - frame.width() / 2);
    EXPECT_EQ(frame.y(), screen.height() / 2 - frame.height() / 2);
}

TEST(MessDlgsModal, ConfirmationKeys) {
    EXPECT_EQ(RunModal({},
                       [](TMessageForm& form) {
                           EXPECT_EQ(FocusName(), "Yes");
                           Press(form, Qt::Key_Return);
                       }),
              ModalResult::Yes);
    EXPECT_EQ(RunModal({}, PressKey(Qt::Key_Escape)), ModalResult::No);
    EXPECT_EQ(RunModal({}, [](TMessageForm& form) { form.close(); }), ModalResult::Cancel);
    EXPECT_EQ(RunModal({}, ClickButton("No")), ModalResult::No);
}

TEST(MessDlgsModal, EnterClicksTheFocusedButtonNotTheDefault) {
    EXPECT_EQ(RunModal({},
                       [](TMessageForm& form) {
                           Press(form, Qt::Key_Tab);
                           EXPECT_EQ(FocusName(), "No");
                           Press(form, Qt::Key_Enter);
                       }),
              ModalResult::No);
}

TEST(MessDlgsModal, NoticeAnswersOneToEnterAndEscape) {
    const Call notice{.message = "Your are offline. Please connect to internet and try again",
                      .type = mtInformation,
                      .buttons = mbOK};
    EXPECT_EQ(RunModal(notice, PressKey(Qt::Key_Return)), ModalResult::OK);
    EXPECT_EQ(RunModal(notice, PressKey(Qt::Key_Escape)), ModalResult::OK);
    EXPECT_EQ(RunModal(notice, [](TMessageForm& form) { form.close(); }), ModalResult::Cancel);
}

TEST(MessDlgsModal, AbortRetryIgnoreFocusBeatsTheDefaultFlag) {
    const Call call{.type = mtError, .buttons = mbAbort | mbRetry | mbIgnore};
    EXPECT_EQ(RunModal(call,
                       [](TMessageForm& form) {
                           EXPECT_EQ(FocusName(), "Abort");
                           Press(form, Qt::Key_Return);
                       }),
              ModalResult::Abort);
    EXPECT_EQ(RunModal(call, KeyIgnoredThenClose(Qt::Key_Escape)), ModalResult::Cancel);
    EXPECT_EQ(RunModal(call, ClickButton("Ignore")), ModalResult::Ignore);
}

TEST(MessDlgsModal, AbortAloneHasNoCancel) {
    const Call call{.type = mtWarning, .buttons = mbAbort};
    EXPECT_EQ(RunModal(call, PressKey(Qt::Key_Return)), ModalResult::Abort);
    EXPECT_EQ(RunModal(call, KeyIgnoredThenClose(Qt::Key_Escape)), ModalResult::Cancel);
}

TEST(MessDlgsModal, DisconnectAndTwoAbbrechen) {
    EXPECT_EQ(RunModal({.buttons = mbAbort, .language = 10}, ClickButton("Abort")),
              ModalResult::Abort);
    const Call german{.buttons = mbCancel | mbAbort, .language = 4};
    EXPECT_EQ(RunModal(german, ClickButton("Cancel")), ModalResult::Cancel);
    EXPECT_EQ(RunModal(german, ClickButton("Abort")), ModalResult::Abort);
}

TEST(MessDlgsModal, EmptySetClosesOnlyThroughTheCloseBox) {
    const Call call{.type = mtInformation, .buttons = 0};
    EXPECT_EQ(RunModal(call,
                       [](TMessageForm& form) {
                           Press(form, Qt::Key_Return);
                           Press(form, Qt::Key_Escape);
                           QCoreApplication::processEvents();
                           EXPECT_TRUE(form.isVisible());
                           form.close();
                       }),
              ModalResult::Cancel);
}

TEST(MessDlgsModal, HelpKeepsTheDialogOpenAndAsksForTheContext) {
    const Call call{.type = mtInformation, .buttons = mbOK | mbHelp, .helpContext = 42};
    EXPECT_EQ(RunModal(call,
                       [](TMessageForm& form) {
                           QSignalSpy help(&form, &TMessageForm::HelpRequested);
                           QTest::mouseClick(form.findChild<QPushButton*>("Help"), Qt::LeftButton);
                           ASSERT_EQ(help.count(), 1);
                           EXPECT_EQ(help.at(0).at(0).toInt(), 42);
                           QCoreApplication::processEvents();
                           EXPECT_TRUE(form.isVisible());
                           Press(form, Qt::Key_Escape);
                       }),
              ModalResult::OK);
}

TEST(MessDlgsModal, PositionMovesOnlyTheGivenEdges) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const auto expectAt = [screen](int left, int top) {
        return [=](TMessageForm& form) {
            const QRect frame = form.frameGeometry();
            const int centredX = screen.width() / 2 - frame.width() / 2;
            const int centredY = screen.height() / 2 - frame.height() / 2;
            EXPECT_EQ(frame.x(), left >= 0 ? left : centredX);
            EXPECT_EQ(frame.y(), top >= 0 ? top : centredY);
            form.close();
        };
    };
    EXPECT_EQ(RunModal({.left = 0, .top = -1}, expectAt(0, -1)), ModalResult::Cancel);
    EXPECT_EQ(RunModal({.left = -5, .top = 40}, expectAt(-5, 40)), ModalResult::Cancel);
    EXPECT_EQ(RunModal({.left = 30, .top = 0}, expectAt(30, 0)), ModalResult::Cancel);
}

TEST(MessDlgsModal, FormIsGoneWhenTheCallReturns) {
    const QString displayName = QGuiApplication::applicationDisplayName();
    QPointer<TMessageForm> seen;
    RunModal({}, [&seen, displayName](TMessageForm& form) {
        seen = &form;
        EXPECT_EQ(form.windowHandle()->title(), "Confirm");
        // The name is set aside only while the native window takes its title.
        EXPECT_EQ(QGuiApplication::applicationDisplayName(), displayName);
        form.close();
    });
    EXPECT_TRUE(seen.isNull());
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), displayName);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(MessDlgsHook, AnswersWithoutAWindowAndSeesTheRequest) {
    std::vector<MessageDialogRequest> asked;
    {
        ScopedMessageDialogHook hook([&asked](const MessageDialogRequest& request) {
            asked.push_back(request);
            return ModalResult::No;
        });
        EXPECT_EQ(MessageDialog("Stop?", mtConfirmation, mbYesNo, 0, 9), ModalResult::No);
        {
            ScopedMessageDialogHook inner([](const MessageDialogRequest&) { return 1; });
            EXPECT_EQ(MessageDialogPos("Inner", mtInformation, mbOK, 0, 3, 4, 9), 1);
        }
        EXPECT_EQ(MessageDialogPos("Again", mtWarning, mbOK, 7, 10, 20, 4), ModalResult::No);
    }
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].message, "Stop?");
    EXPECT_EQ(asked[0].type, mtConfirmation);
    EXPECT_EQ(asked[0].buttons, mbYesNo);
    EXPECT_EQ(asked[0].left, -1);
    EXPECT_EQ(asked[1].helpContext, 7);
    EXPECT_EQ(asked[1].left, 10);
    EXPECT_EQ(asked[1].top, 20);
    EXPECT_EQ(asked[1].language, 4);
    // With the guards gone the real dialog shows again.
    EXPECT_EQ(RunModal({}, PressKey(Qt::Key_Escape)), ModalResult::No);
}
