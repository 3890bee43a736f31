// The options dialog through the whole program: a new download folder chosen there survives
// closing the program and is used by the next run.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <filesystem>

#include "e2e/SampleRun.h"
#include "gui/Unit2.h"
#include "support/ModalDriver.h"
#include "support/OpenedUrls.h"

namespace {

namespace fs = std::filesystem;
using e2e::FindRow;
using e2e::ReadFile;

// Types the folder into the dialog's field and presses "OK", as the user would.
void ChooseDownloadFolder(TForm1& form, const std::string& folder) {
    WhenModal<TForm2>([folder](TForm2& dialog) {
        EXPECT_TRUE(dialog.CheckBox1->isChecked());  // "Always update info" from the hive
        dialog.Edit1->selectAll();
        QTest::keyClicks(dialog.Edit1, QString::fromStdString(folder));
        QTest::mouseClick(dialog.Button2, Qt::LeftButton);
    });
    e2e::ClickButton(form.Button4);
    ASSERT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(Settings, ANewDownloadFolderIsKeptForTheNextRun) {
    OpenedUrls opened;  // no file manager opens
    e2e::SampleWorld world;
    const std::string chosen = world.dir.path() + "/My Downloads";
    fs::create_directories(chosen);

    {
        e2e::SampleProgram first(world);
        first.ShowAndSettle();
        ChooseDownloadFolder(first.window(), chosen);
        EXPECT_EQ(first.window().DownloadDir, chosen);
        first.window().close();  // saves, as the close box does
    }
    const std::string hive = ReadFile(world.hiveFile);
    EXPECT_NE(hive.find("\"DownloadDir\"=\"" + chosen + "\""), std::string::npos) << hive;

    e2e::SampleProgram second(world);
    second.ShowAndSettle();
    TForm1& form = second.window();
    EXPECT_EQ(form.DownloadDir, chosen);
    EXPECT_TRUE(form.AutoUpdate);
    EXPECT_EQ(world.CatalogueFetches(), 2);  // auto update ran again at the second start

    // The next download lands in the kept folder.
    auto* setup = FindRow(*form.ProjectTree, {"Corvalite Editor for PHP"});
    e2e::ClickRow(*form.ProjectTree, setup);
    e2e::ClickButton(form.Button2);
    EXPECT_TRUE(fs::exists(fs::path(chosen) / "php_editor_php5.exe"));
    EXPECT_FALSE(fs::exists(fs::path(world.DownloadFolder()) / "php_editor_php5.exe"));
    EXPECT_EQ(opened.LocalPaths(), std::vector<std::string>{chosen});
}

}  // namespace
