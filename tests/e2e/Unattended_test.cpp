// The program run without its window, as a script would run it: the real executable, no
// display (a widget made by mistake would fail to find its platform), the sample site.
#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/ReplacedFiles.h"
#include "e2e/SampleRun.h"
#include "gui/Places.h"

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

struct Ran {
    int status = -1;
    std::string out;
    Strings errLines;
};

Strings Lines(const QByteArray& text) {
    Strings lines;
    for (const QByteArray& line : text.split('\n'))
        if (!line.isEmpty()) lines.push_back(line.toStdString());
    return lines;
}

Ran Unattended(const QStringList& arguments) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("QT_QPA_PLATFORM", "no-such-platform");
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(CORVALITE_UPDATE_PROGRAM, arguments);
    EXPECT_TRUE(program.waitForFinished(-1)) << program.errorString().toStdString();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    return {program.exitCode(), program.readAllStandardOutput().toStdString(),
            Lines(program.readAllStandardError())};
}

// Every row of the window's tree, expanded or not, as the list prints it.
void TreeLines(const toolkit::TTreeNode* row, Strings& lines) {
    std::string line = row->Text().toStdString();
    for (int i = 0; i < 4; ++i) line += "\t" + row->ColumnText(i).toStdString();
    lines.push_back(line);
    for (int i = 0; i < row->ChildCount(); ++i) TreeLines(row->Child(i), lines);
}

std::string Site(const e2e::SampleWorld& world, const std::string& name) {
    return e2e::ReadFile(fs::path(world.site) / "download" / "utils" / name);
}
fs::path Module(const e2e::SampleWorld& world, const std::string& name) {
    return fs::path(demo::ServerFolder(world.install)) / "modules" / name;
}
fs::path Utility(const e2e::SampleWorld& world, const std::string& name) {
    return fs::path(demo::ServerFolder(world.install)) / "modules" / "utils" / name;
}

TEST(Unattended, TheListIsTheWindowsTreeRowForRowAndDownloadsNoComponent) {
    e2e::SampleWorld world;
    const Ran list = Unattended({"--list"});
    ASSERT_EQ(list.status, 0) << ::testing::PrintToString(list.errLines);
    EXPECT_TRUE(list.errLines.empty()) << ::testing::PrintToString(list.errLines);
    const Ran json = Unattended({"--list", "--json"});
    ASSERT_EQ(json.status, 0);
    EXPECT_EQ(world.CatalogueFetches(), 2);
    EXPECT_EQ(world.server.requestCount("/download/utils/mod_deflate.dll"), 0);

    e2e::SampleProgram program(world);
    program.ShowAndSettle();
    Strings shown;
    const toolkit::TTreeView& tree = *program.window().ProjectTree;
    for (int i = 0; i < tree.TopLevelCount(); ++i) TreeLines(tree.TopLevel(i), shown);
    ASSERT_GT(shown.size(), 10u);
    EXPECT_EQ(Lines(QByteArray::fromStdString(list.out)), shown);

    // The JSON holds the same texts, one object per row, and the same number of rows.
    const QByteArray out = QByteArray::fromStdString(json.out);
    EXPECT_EQ(out.count("{\"level\": "), static_cast<qsizetype>(shown.size()));
    EXPECT_TRUE(out.contains("\"component\": \"mod_deflate.dll\"")) << json.out;
    EXPECT_TRUE(out.contains("{\"level\": 0, \"component\": \"Corvalite Web Server\""));
    EXPECT_TRUE(out.startsWith("[") && out.trimmed().endsWith("]"));
}

TEST(Unattended, InstallPlacesEachNamedFileAskingNothingAndKeepsWhatItReplaced) {
    e2e::SampleWorld world;
    const std::string before = e2e::ReadFile(Module(world, "mod_rewrite.dll"));
    const Ran run = Unattended({"--install", "mod_deflate.dll", "mod_rewrite.dll"});
    ASSERT_EQ(run.status, 0) << ::testing::PrintToString(run.errLines);
    EXPECT_TRUE(run.errLines.empty()) << ::testing::PrintToString(run.errLines);  // no terminal
    EXPECT_EQ(e2e::ReadFile(Module(world, "mod_deflate.dll")), Site(world, "mod_deflate.dll"));
    EXPECT_EQ(e2e::ReadFile(Module(world, "mod_rewrite.dll")), Site(world, "mod_rewrite.dll"));
    ASSERT_NE(before, Site(world, "mod_rewrite.dll"));
    // The replaced file went into the store the window restores from.
    const auto kept = ReplacedFiles(ReplacedFilesFolder()).Find(Module(world, "mod_rewrite.dll"));
    ASSERT_TRUE(kept);
    EXPECT_EQ(e2e::ReadFile(kept->copy), before);
}

TEST(Unattended, RestorePutsBackWhatTheInstallReplacedAndASecondRestoreUndoesIt) {
    e2e::SampleWorld world;
    const fs::path rewrite = Module(world, "mod_rewrite.dll");
    const std::string before = e2e::ReadFile(rewrite);
    const std::string served = Site(world, "mod_rewrite.dll");
    ASSERT_NE(before, served);
    // Nothing kept yet, and a component with no file in place: nothing to restore.
    const Ran nothing = Unattended({"--restore", "mod_rewrite.dll", "mod_headers.dll"});
    EXPECT_EQ(nothing.status, 1);
    ASSERT_EQ(nothing.errLines.size(), 2u) << ::testing::PrintToString(nothing.errLines);
    EXPECT_EQ(nothing.errLines[0].rfind("update: mod_rewrite.dll: no previous copy", 0), 0u);
    EXPECT_EQ(nothing.errLines[1].rfind("update: mod_headers.dll: not installed", 0), 0u);
    EXPECT_EQ(e2e::ReadFile(rewrite), before);

    ASSERT_EQ(Unattended({"--install", "mod_rewrite.dll"}).status, 0);
    ASSERT_EQ(e2e::ReadFile(rewrite), served);
    const Ran restored = Unattended({"--restore", "mod_rewrite.dll"});
    ASSERT_EQ(restored.status, 0) << ::testing::PrintToString(restored.errLines);
    EXPECT_TRUE(restored.errLines.empty()) << ::testing::PrintToString(restored.errLines);
    EXPECT_EQ(e2e::ReadFile(rewrite), before);
    const auto kept = ReplacedFiles(ReplacedFilesFolder()).Find(rewrite.string());
    ASSERT_TRUE(kept);
    EXPECT_EQ(e2e::ReadFile(kept->copy), served);

    // Twice in one run: each restore takes the other copy back.
    const Ran twice = Unattended({"--restore", "mod_rewrite.dll", "mod_rewrite.dll"});
    ASSERT_EQ(twice.status, 0) << ::testing::PrintToString(twice.errLines);
    EXPECT_EQ(e2e::ReadFile(rewrite), before);
    EXPECT_EQ(Unattended({"--restore", "mod_rewrite.dll"}).status, 0);
    EXPECT_EQ(e2e::ReadFile(rewrite), served);
    EXPECT_EQ(Unattended({"--restore", "nothing-such"}).status, 1);
    for (const QStringList& wrong :
         {QStringList{"--restore"}, QStringList{"--restore", "x", "--install", "y"},
          QStringList{"--restore", "x", "--restore", "y"}})
        EXPECT_EQ(Unattended(wrong).status, 2) << wrong.join(' ').toStdString();
}

TEST(Unattended, EachFailureHasItsStatusAndOneLineNamingTheComponent) {
    e2e::SampleWorld world;
    fs::remove(fs::path(world.site) / "download" / "utils" / "mod_headers.dll");
    std::ofstream(fs::path(world.site) / "download" / "utils" / "htdigest.exe") << "not signed";

    const Ran missing = Unattended({"--install", "mod_headers.dll"});
    EXPECT_EQ(missing.status, 3);
    ASSERT_EQ(missing.errLines.size(), 1u) << ::testing::PrintToString(missing.errLines);
    EXPECT_EQ(missing.errLines[0].rfind("update: mod_headers.dll: ", 0), 0u);

    const Ran refused = Unattended({"--install", "htdigest.exe"});
    EXPECT_EQ(refused.status, 4);
    ASSERT_EQ(refused.errLines.size(), 1u) << ::testing::PrintToString(refused.errLines);
    EXPECT_EQ(refused.errLines[0].rfind("update: htdigest.exe: ", 0), 0u);
    EXPECT_FALSE(fs::exists(Utility(world, "htdigest.exe")));

    // Several at once: a line each, and the first failure decides.
    const Ran both = Unattended({"--install", "htdigest.exe", "mod_headers.dll", "nothing-such"});
    EXPECT_EQ(both.status, 4);
    ASSERT_EQ(both.errLines.size(), 3u) << ::testing::PrintToString(both.errLines);
    EXPECT_EQ(both.errLines[2], "update: nothing-such: no such component");
    EXPECT_EQ(Unattended({"--install", "nothing-such"}).status, 1);

    for (const QStringList& wrong :
         {QStringList{"--install"}, QStringList{"--list", "--install", "x"}, QStringList{"--json"},
          QStringList{"--frobnicate"}}) {
        const Ran usage = Unattended(wrong);
        EXPECT_EQ(usage.status, 2) << wrong.join(' ').toStdString();
        EXPECT_EQ(usage.errLines.size(), 1u);
    }
    const Ran help = Unattended({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--install NAME"), std::string::npos);
    EXPECT_NE(help.out.find("--restore NAME"), std::string::npos);
    EXPECT_EQ(Unattended({"--version"}).out, "update " CORVALITE_VERSION "\n");
}

}  // namespace
