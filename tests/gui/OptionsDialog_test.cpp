// The options dialog on its own, offscreen: its design, its keys and its "..." button.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "gui/Unit2.h"
#include "gui/upd_utils.h"
#include "support/ModalDriver.h"
#include "support/RecordingShell.h"
#include "support/TempDir.h"

namespace {

struct OptionsDialog : ::testing::Test {
    RecordingShell shell;
    TempDir dir;
    TForm2 form{shell};

    struct Pick {
        std::string caption;
        std::string folder;
        unsigned flags;
    };
    std::vector<Pick> picks;

    // The picker answers with `choice`; an empty choice cancels.
    void AnswerPicker(std::string choice) {
        shell.picker = [this, choice](const std::string& caption, std::string& folder,
                                      unsigned flags) {
            picks.push_back({caption, folder, flags});
            if (choice.empty()) return false;
            folder = choice;
            return true;
        };
    }

    int RunWith(std::function<void(TForm2&)> drive) {
        WhenModal<TForm2>(std::move(drive));
        return form.exec();
    }
};

}  // namespace

TEST_F(OptionsDialog, ControlsAreLaidOutAsDesigned) {
    EXPECT_EQ(form.windowTitle(), "Options");
    EXPECT_EQ(form.size(), QSize(575, 215));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "the frame is fixed";
    EXPECT_EQ(form.font().family(), "Tahoma");
    EXPECT_EQ(form.font().pixelSize(), 13);
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);

    struct Expect {
        QWidget* control;
        const char* name;
        QWidget* parent;
        QRect rect;
    };
    for (const Expect& e : {
             Expect{form.GroupBox1, "GroupBox1", &form, {12, 8, 549, 157}},
             Expect{form.Edit1, "Edit1", form.GroupBox1, {16, 56, 489, 24}},
             Expect{form.Button1, "Button1", form.GroupBox1, {512, 56, 25, 25}},
             Expect{form.CheckBox1, "CheckBox1", form.GroupBox1, {16, 108, 385, 17}},
             Expect{form.Button2, "Button2", &form, {356, 176, 100, 29}},
             Expect{form.Button3, "Button3", &form, {460, 176, 100, 29}},
         }) {
        EXPECT_EQ(e.control->objectName(), e.name);
        EXPECT_EQ(form.findChild<QWidget*>(e.name), e.control);
        EXPECT_EQ(e.control->parentWidget(), e.parent) << e.name;
        EXPECT_EQ(e.control->geometry(), e.rect) << e.name;
    }
    // The label sizes itself to its caption, never below its designed box.
    EXPECT_EQ(form.Label1->parentWidget(), form.GroupBox1);
    EXPECT_EQ(form.Label1->pos(), QPoint(16, 32));
    EXPECT_GE(form.Label1->width(), 153);
    EXPECT_GE(form.Label1->height(), 16);
    EXPECT_GE(form.Label1->width(),
              form.Label1->fontMetrics().horizontalAdvance(form.Label1->text()));
    EXPECT_EQ(form.GroupBox1->title(), "Update options");
    EXPECT_EQ(form.Label1->text(), "Default download directory");
    EXPECT_EQ(form.Button1->text(), "...");
    EXPECT_EQ(form.CheckBox1->text(), "Always update info");
    EXPECT_EQ(form.Button2->text(), "OK");
    EXPECT_EQ(form.Button3->text(), "Cancel");
    EXPECT_TRUE(form.Button2->isDefault());
    EXPECT_FALSE(form.Button3->isDefault());
    EXPECT_EQ(form.Button1->font().family(), "Tahoma");
    EXPECT_EQ(form.Button1->font().pixelSize(), 17);
    EXPECT_TRUE(form.Button1->font().bold());
    EXPECT_EQ(form.Edit1->accessibleName(), "Default download directory");
    EXPECT_FALSE(form.Button1->accessibleName().isEmpty());
    EXPECT_TRUE(form.Edit1->text().isEmpty());
    EXPECT_FALSE(form.CheckBox1->isChecked());
}

TEST_F(OptionsDialog, OpensCentredWithTheFocusInTheEditAndTabsInDesignOrder) {
    std::vector<QString> visited;
    const int result = RunWith([&](TForm2& f) {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_LE(std::abs(f.frameGeometry().center().x() - screen.center().x()), 1);
        EXPECT_LE(std::abs(f.frameGeometry().center().y() - screen.center().y()), 1);
        for (int i = 0; i < 6; ++i) {
            visited.push_back(QApplication::focusWidget()
                                  ? QApplication::focusWidget()->objectName()
                                  : QString());
            PressKey(f, Qt::Key_Tab);
        }
        f.done(0);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(visited, (std::vector<QString>{"Edit1", "Button1", "CheckBox1", "Button2", "Button3",
                                             "Edit1"}));
}

TEST_F(OptionsDialog, EnterIsOkAndEscapeOrTheCloseBoxIsCancel) {
    form.Edit1->setText("/somewhere");
    EXPECT_EQ(RunWith([](TForm2& f) {
                  // The edit opens with its text selected, as a typed folder replaces it.
                  PressKey(f, Qt::Key_End);
                  QTest::keyClicks(f.Edit1, " else");
                  PressKey(f, Qt::Key_Return);
              }),
              1);
    EXPECT_EQ(form.Edit1->text().toStdString(), "/somewhere else");
    EXPECT_EQ(RunWith([](TForm2& f) { PressKey(f, Qt::Key_Enter); }), 1);
    EXPECT_EQ(RunWith([](TForm2& f) { PressKey(f, Qt::Key_Escape); }), 2);
    EXPECT_EQ(RunWith([](TForm2& f) { f.close(); }), 2);
    EXPECT_EQ(RunWith([](TForm2& f) { QTest::mouseClick(f.Button3, Qt::LeftButton); }), 2);
    EXPECT_EQ(RunWith([](TForm2& f) { QTest::mouseClick(f.Button2, Qt::LeftButton); }), 1);
    // A focused push button takes Enter itself, as on the desktop it was designed for.
    EXPECT_EQ(RunWith([](TForm2& f) {
                  f.Button3->setFocus();
                  PressKey(f, Qt::Key_Return);
              }),
              2);
    // Space toggles the check box once the focus reaches it.
    EXPECT_EQ(RunWith([](TForm2& f) {
                  f.CheckBox1->setFocus();
                  PressKey(f, Qt::Key_Space);
                  PressKey(f, Qt::Key_Escape);
              }),
              2);
    EXPECT_TRUE(form.CheckBox1->isChecked());
}

TEST_F(OptionsDialog, BrowsePreselectsTheFolderAndPutsThePickIntoTheEdit) {
    const std::string current = dir.path();
    const std::string other = dir.path() + "/other";
    std::filesystem::create_directory(other);
    form.Edit1->setText(QString::fromStdString(current));
    AnswerPicker(other);
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    ASSERT_EQ(picks.size(), 1u);
    EXPECT_EQ(picks[0].caption, "Download directory");
    EXPECT_EQ(picks[0].folder, current);
    EXPECT_EQ(picks[0].flags, 0x0051u);
    EXPECT_EQ(form.Edit1->text().toStdString(), other);
}

TEST_F(OptionsDialog, BrowseCancelledLeavesTheEditAsItWas) {
    form.Edit1->setText(QString::fromStdString(dir.path()));
    AnswerPicker("");
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    ASSERT_EQ(picks.size(), 1u);
    EXPECT_EQ(form.Edit1->text().toStdString(), dir.path());

    // No picker at all (it could not be shown) counts the same.
    shell.picker = nullptr;
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    EXPECT_EQ(form.Edit1->text().toStdString(), dir.path());
}

TEST_F(OptionsDialog, BrowseOnAFolderThatIsNotThereOpensWithoutPreselection) {
    const std::string file = dir.Write("a file", "x");
    for (const std::string& text : {dir.path() + "/gone", file, "  " + dir.path() + "  "}) {
        picks.clear();
        form.Edit1->setText(QString::fromStdString(text));
        AnswerPicker("");
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        ASSERT_EQ(picks.size(), 1u);
        EXPECT_EQ(picks[0].folder, "") << text;
        EXPECT_EQ(form.Edit1->text().toStdString(), text) << "a cancelled pick keeps the text";
    }
}

TEST(BrowseForFolder, EmptiesAFolderThatIsNotThereEvenWhenCancelled) {
    TempDir dir;
    RecordingShell shell;
    std::string folder = dir.path() + "/missing";
    EXPECT_FALSE(BrowseForFolder(shell, nullptr, "Pick", QString(), folder, true, false, true));
    EXPECT_EQ(folder, "");

    folder = dir.path();
    EXPECT_FALSE(BrowseForFolder(shell, nullptr, "Pick", QString(), folder, true, false, true));
    EXPECT_EQ(folder, dir.path()) << "an existing folder survives a cancel";
}

TEST(BrowseForFolder, PassesTheOptionsAsThePickerFlags) {
    RecordingShell shell;
    std::vector<unsigned> seen;
    shell.picker = [&](const std::string&, std::string& folder, unsigned flags) {
        seen.push_back(flags);
        folder = "/picked";
        return true;
    };
    std::string folder;
    EXPECT_TRUE(BrowseForFolder(shell, nullptr, "c", QString(), folder, false, false, true));
    EXPECT_EQ(folder, "/picked");
    BrowseForFolder(shell, nullptr, "c", QString(), folder, true, true, false);
    BrowseForFolder(shell, nullptr, "c", QString(), folder, false, false, false);
    EXPECT_EQ(seen, (std::vector<unsigned>{0x0041, 0x4251, 0x0241}));
}

TEST_F(OptionsDialog, FocusOnOkLooksDifferentFromItsDefaultFrame) {
    RunWith([](TForm2& f) {
        ASSERT_TRUE(f.Edit1->hasFocus());
        const QImage defaultOnly = f.Button2->grab().toImage();
        for (int i = 0; i < 3; ++i) PressKey(f, Qt::Key_Tab);
        ASSERT_TRUE(f.Button2->hasFocus());
        EXPECT_TRUE(f.Button2->isDefault());
        EXPECT_NE(f.Button2->grab().toImage(), defaultOnly) << "focus must show on OK";
        f.done(0);
    });
}
