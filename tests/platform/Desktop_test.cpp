// The window lookup against real windows of another program, the same on both backends:
// found by class and title ignoring case, whole texts only, and the status child's text.
// On Windows the windows are never shown, as a product's instance window is not.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <chrono>
#include <thread>

#include "ProductWindows.h"
#include "platform/Desktop.h"
#include "support/Poll.h"

namespace {

constexpr const char* kServerTitle = "Corvalite Webserver";
constexpr const char* kEditorClass = "TInstanceManager[{84E5590F-45D5-4688-BACC-5206DC9AC990}]";
constexpr const char* kEditorTitle = "RAZE [{1966A98B-6E27-467D-A520-0C7061650A0A}]";

TEST(Desktop, ProductWindowsAreFoundLikeTheProbesAskForThem) {
    // The status outside any code page: Latin-1, Polish, CJK and an emoji.
    const std::string running = "L\u00e4uft \u0141\u00f3d\u017a \u7aef\u53e3 8080 \U0001F600";
    ProductWindows products(running);
    if (!products.skipReason().empty()) GTEST_SKIP() << products.skipReason();
    ASSERT_TRUE(products.started());
    const auto desktop = platform::OpenSessionDesktop();
    ASSERT_TRUE(testsupport::PollUntil(
        [&] { return desktop->FindTopLevelWindow(kEditorClass, kEditorTitle) != 0; }));

    const platform::WindowId server = desktop->FindTopLevelWindow(nullptr, kServerTitle);
    ASSERT_NE(server, 0u);
#ifdef _WIN32
    EXPECT_FALSE(IsWindowVisible(reinterpret_cast<HWND>(server)));
#endif
    EXPECT_EQ(desktop->FindTopLevelWindow(nullptr, "CORVALITE webserver"), server);
    EXPECT_EQ(desktop->FindTopLevelWindow("tserverform", kServerTitle), server);
    EXPECT_EQ(desktop->FindTopLevelWindow(nullptr, "Corvalite Webserver 2"), 0u);
    EXPECT_EQ(desktop->FindTopLevelWindow(nullptr, "Corvalite"), 0u);
    EXPECT_EQ(desktop->FindTopLevelWindow(kEditorClass, kServerTitle), 0u);
    EXPECT_EQ(desktop->FindTopLevelWindow("TServerForm", kEditorTitle), 0u);

    const platform::WindowId status = desktop->FindChildWindow(server, "tstatictext");
    ASSERT_NE(status, 0u);
    EXPECT_EQ(desktop->WindowTextOf(status, 255), running);
    EXPECT_EQ(desktop->WindowTextOf(status, 3), "L\u00e4");  // whole characters only
    EXPECT_EQ(desktop->WindowTextOf(status, 2), "L");
    EXPECT_EQ(desktop->WindowTextOf(server, 255), kServerTitle);
    EXPECT_EQ(desktop->FindChildWindow(server, "TButton"), 0u);
    EXPECT_EQ(desktop->FindChildWindow(0, "TStaticText"), 0u);

    products.End();
    EXPECT_TRUE(testsupport::PollUntil(
        [&] { return desktop->FindTopLevelWindow(nullptr, kServerTitle) == 0; }));
    EXPECT_EQ(desktop->FindTopLevelWindow(kEditorClass, kEditorTitle), 0u);
}

}  // namespace
