// The two running-product probes against a scripted desktop.
#include <gtest/gtest.h>

#include <string>

#include "core/Unit1Probes.h"
#include "core/srunner.h"
#include "support/FakeDesktop.h"

namespace {

constexpr const char* kTitle = "Corvalite Webserver";
constexpr const char* kEditorClass = "TInstanceManager[{84E5590F-45D5-4688-BACC-5206DC9AC990}]";
constexpr const char* kEditorTitle = "RAZE [{1966A98B-6E27-467D-A520-0C7061650A0A}]";

class ServerRunnerTest : public ::testing::Test {
  protected:
    // Refreshes and reports whether the status line counted as "R".
    bool StatusAfterRefresh() {
        runner.Refresh();
        EXPECT_TRUE(runner.Running);
        return runner.StatusR;
    }

    FakeDesktop desktop;
    TServerRunner runner{"/data/Zelmarock/corvalitesrv.exe", desktop};
};

TEST_F(ServerRunnerTest, NewRunnerReportsNothingUntilItsFirstRefresh) {
    desktop.AddWindow("TServerForm", kTitle);
    EXPECT_EQ(runner.LauncherPath, "/data/Zelmarock/corvalitesrv.exe");
    EXPECT_EQ(runner.SecondText, "");
    EXPECT_EQ(runner.Port, "8080");
    EXPECT_FALSE(runner.Running);
    EXPECT_FALSE(runner.StatusR);
    EXPECT_EQ(runner.ServerWindow, 0u);
    EXPECT_EQ(desktop.TopLevelLookups(), 0);
}

TEST_F(ServerRunnerTest, AnyClassWithTheServerTitleCountsEvenWithoutStatusChild) {
    desktop.AddWindow("Notepad", "Corvalite");
    const auto server = desktop.AddWindow("SomethingElse", kTitle);
    runner.Refresh();
    EXPECT_TRUE(runner.Running);
    EXPECT_EQ(runner.ServerWindow, server);
    EXPECT_FALSE(runner.StatusR);
}

TEST_F(ServerRunnerTest, TitleIsComparedWholeIgnoringLetterCase) {
    for (const char* other : {"Corvalite Webserver ", " Corvalite Webserver",
                              "Corvalite Webserver - 8080", "Corvalite", "Corvalite  Webserver"}) {
        desktop.Clear();
        desktop.AddWindow("TServerForm", other);
        runner.Refresh();
        EXPECT_FALSE(runner.Running) << '"' << other << '"';
    }
    desktop.Clear();
    const auto server = desktop.AddWindow("TServerForm", "cORVALITE wEBSERVER");
    runner.Refresh();
    EXPECT_TRUE(runner.Running);
    EXPECT_EQ(runner.ServerWindow, server);
}

TEST_F(ServerRunnerTest, OnlyACapitalRAtTheStartOfTheStatusCounts) {
    const auto server = desktop.AddWindow("TServerForm", kTitle);
    const auto status = desktop.AddChild(server, "TStaticText", "Running on port 8080");
    EXPECT_TRUE(StatusAfterRefresh());
    desktop.SetText(status, "R");
    EXPECT_TRUE(StatusAfterRefresh());
    for (const char* text : {"running", "r", "", " Running", "Stopped", "\xC3\x9F"}) {
        desktop.SetText(status, text);
        EXPECT_FALSE(StatusAfterRefresh()) << '"' << text << '"';
    }
    desktop.SetText(status, "R" + std::string(400, 'x'));  // longer than the status buffer
    EXPECT_TRUE(StatusAfterRefresh());
}

TEST_F(ServerRunnerTest, OnlyTheFirstDirectStatusChildIsRead) {
    const auto server = desktop.AddWindow("TServerForm", kTitle);
    desktop.AddChild(server, "TPanel", "Running");
    const auto first = desktop.AddChild(server, "tstatictext", "Stopped");
    desktop.AddChild(server, "TStaticText", "Running");
    desktop.AddChild(first, "TStaticText", "Running");  // a grandchild is not a child
    EXPECT_FALSE(StatusAfterRefresh());

    desktop.SetText(first, "Ready");
    EXPECT_TRUE(StatusAfterRefresh());
}

TEST_F(ServerRunnerTest, StatusChildOfAnotherWindowIsNotTheServers) {
    const auto other = desktop.AddWindow("TServerForm", "Corvalite Webserver setup");
    desktop.AddChild(other, "TStaticText", "Running");
    desktop.AddWindow("TServerForm", kTitle);
    EXPECT_FALSE(StatusAfterRefresh());
}

TEST_F(ServerRunnerTest, EachRefreshReplacesTheStateAndLeavesPathAndPortAlone) {
    const auto server = desktop.AddWindow("TServerForm", kTitle);
    desktop.AddChild(server, "TStaticText", "Running");
    runner.Refresh();
    ASSERT_TRUE(runner.Running);
    ASSERT_TRUE(runner.StatusR);

    desktop.RemoveWindow(server);
    EXPECT_TRUE(runner.Running) << "nothing resets the state between refreshes";
    runner.Refresh();
    EXPECT_FALSE(runner.Running);
    EXPECT_FALSE(runner.StatusR);
    EXPECT_EQ(runner.ServerWindow, 0u);

    const auto restarted = desktop.AddWindow("TServerForm", kTitle);
    runner.Refresh();
    EXPECT_TRUE(runner.Running);
    EXPECT_FALSE(runner.StatusR) << "the new window has no status line yet";
    EXPECT_EQ(runner.ServerWindow, restarted);

    EXPECT_EQ(runner.Port, "8080");
    EXPECT_EQ(runner.LauncherPath, "/data/Zelmarock/corvalitesrv.exe");
    EXPECT_EQ(runner.SecondText, "");
    EXPECT_EQ(desktop.TopLevelLookups(), 3);
}

TEST(IsEditorRunning, NeedsTheEditorsClassAndTitleTogether) {
    FakeDesktop desktop;
    EXPECT_FALSE(IsEditorRunning(desktop));
    desktop.AddWindow("TApplication", kEditorTitle);
    desktop.AddWindow(kEditorClass, "RAZE");
    desktop.AddWindow(kEditorClass, std::string(kEditorTitle) + " ");
    EXPECT_FALSE(IsEditorRunning(desktop));

    const auto editor = desktop.AddWindow(kEditorClass, kEditorTitle);
    EXPECT_TRUE(IsEditorRunning(desktop));
    desktop.RemoveWindow(editor);
    EXPECT_FALSE(IsEditorRunning(desktop));
}

TEST(IsEditorRunning, IgnoresLetterCaseOfClassAndTitle) {
    FakeDesktop desktop;
    desktop.AddWindow("tinstancemanager[{84e5590f-45d5-4688-bacc-5206dc9ac990}]",
                      "raze [{1966a98b-6e27-467d-a520-0c7061650a0a}]");
    EXPECT_TRUE(IsEditorRunning(desktop));
}

}  // namespace
