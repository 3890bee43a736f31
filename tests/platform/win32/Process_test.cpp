// Starting a downloaded program: the whole path is the program, blanks and all, and the
// call does not wait for it.
#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "PlatformTest.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "support/Poll.h"

namespace {

constexpr const char* kServerTitle = "Corvalite Webserver";

HWND WaitForWindow(const char* title) {
    HWND window = nullptr;
    testsupport::PollUntil([&] { return (window = FindWindowA(nullptr, title)) != nullptr; });
    return window;
}

void EndProgramOf(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (const HANDLE handle = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process)) {
        TerminateProcess(handle, 0);
        WaitForSingleObject(handle, INFINITE);
        CloseHandle(handle);
    }
}

TEST(Process, APathWithBlanksStartsThatProgram) {
    TempDir dir;
    // "Setup.exe" beside "Setup files": an unquoted command line would try "...\Setup" first.
    // Letters outside the code page too: the path must reach the system as it is.
    const std::string folder = platformtest::Join(dir.path(), "Setup files \u4e0b\u8f7d");
    dir.Write("Setup.exe", "not a program");
    const std::string setup =
        dir.Write("Setup files \u4e0b\u8f7d\\server \U0001F600 setup.exe", "");
    std::filesystem::copy_file(CORVALITE_PRODUCT_WINDOWS, platform::PathFromUtf8(setup),
                               std::filesystem::copy_options::overwrite_existing);

    ASSERT_TRUE(platform::StartProgram(setup));
    const HWND window = WaitForWindow(kServerTitle);
    ASSERT_NE(window, nullptr) << "the program did not start";
    EndProgramOf(window);

    EXPECT_FALSE(platform::StartProgram(platformtest::Join(folder, "missing.exe")));
    EXPECT_FALSE(platform::StartProgram(""));
}

}  // namespace
