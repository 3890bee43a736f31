// The shell's own services driven as a user would: its dialogs are found among this
// program's windows and answered with their buttons.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <shellapi.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "PlatformTest.h"
#include "platform/BrowseFlags.h"
#include "platform/Paths.h"
#include "platform/win32/Shell.h"
#include "platform/win32/Wide.h"

namespace {

struct Dialog {
    HWND window = nullptr;
    std::string texts;  // the caption and every child's text, one per line
};

// A tree's text is its selected item: that is where the picker shows its selection.
BOOL CALLBACK CollectText(HWND child, LPARAM into) {
    wchar_t text[512] = {};
    wchar_t type[64] = {};
    GetClassNameW(child, type, static_cast<int>(std::size(type)));
    if (std::wstring(type) == WC_TREEVIEWW) {
        TVITEMW item{};
        item.mask = TVIF_TEXT;
        item.hItem =
            reinterpret_cast<HTREEITEM>(SendMessageW(child, TVM_GETNEXTITEM, TVGN_CARET, 0));
        item.pszText = text;
        item.cchTextMax = static_cast<int>(std::size(text));
        if (item.hItem == nullptr ||
            !SendMessageW(child, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
            text[0] = L'\0';
    } else {
        GetWindowTextW(child, text, static_cast<int>(std::size(text)));
    }
    reinterpret_cast<std::string*>(into)->append(platform::win32::Utf8(text)).push_back('\n');
    return TRUE;
}

BOOL CALLBACK FindOwnDialog(HWND window, LPARAM into) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char type[64] = {};
    GetClassNameA(window, type, sizeof type);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) ||
        std::string(type) != "#32770")
        return TRUE;
    reinterpret_cast<Dialog*>(into)->window = window;
    return FALSE;
}

std::string TextsOf(HWND dialog) {
    std::string texts;
    CollectText(dialog, reinterpret_cast<LPARAM>(&texts));
    EnumChildWindows(dialog, &CollectText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// Waits for this program's next dialog and, when asked, for a text to appear in it (the
// picker fills in its selection after it shows), notes its texts and presses the button
// with the given identifier. Nothing found within the bound gives an empty answer.
std::future<Dialog> AnswerNextDialog(int button, std::string awaitedText = {}) {
    return std::async(std::launch::async, [button, awaitedText] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        Dialog dialog;
        while (std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (dialog.window == nullptr)
                EnumWindows(&FindOwnDialog, reinterpret_cast<LPARAM>(&dialog));
            if (dialog.window == nullptr) continue;
            dialog.texts = TextsOf(dialog.window);
            if (dialog.texts.find(awaitedText) != std::string::npos) break;
        }
        if (dialog.window != nullptr)
            PostMessageA(dialog.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        return dialog;
    });
}

using platform::win32::ShellFileOperation;
using platformtest::Join;

TEST(Shell, FilesMoveAndCopyIntoAFolder) {
    TempDir dir;
    for (const std::string& name : platformtest::kUnicodeNames) {
        const std::string target = Join(dir.path(), "modules " + name);
        std::filesystem::create_directory(platform::PathFromUtf8(target));
        const std::string moved = dir.Write(name + ".dll", "moved");
        const std::string copied = dir.Write(name + ".exe", "copied");

        EXPECT_TRUE(ShellFileOperation(0, {moved}, target, true)) << name;
        EXPECT_EQ(dir.Read(Join("modules " + name, name + ".dll")), "moved");
        EXPECT_FALSE(dir.Exists(name + ".dll"));
        EXPECT_TRUE(ShellFileOperation(0, {copied}, target, false)) << name;
        EXPECT_EQ(dir.Read(Join("modules " + name, name + ".exe")), "copied");
        EXPECT_TRUE(dir.Exists(name + ".exe"));
        EXPECT_FALSE(ShellFileOperation(0, {}, target, true));
    }
}

// What Windows documents its shell to answer, which Wine's shell does not do: it moves onto an
// existing file without asking and reports success for a missing source. The stand-in answers
// as Windows would and notes what it was asked.
struct ShellAnswer {
    int result = 0;
    bool aborted = false;  // the user said No to replacing
    UINT function = 0;
    FILEOP_FLAGS flags = 0xFFFF;
    std::wstring from, to;
};
ShellAnswer g_answer;

ShellAnswer Answering(int result, bool aborted) {
    ShellAnswer answer;
    answer.result = result;
    answer.aborted = aborted;
    return answer;
}

std::wstring NameList(PCZZWSTR list) {
    std::wstring names;
    while (*list) {
        const std::wstring name(list);
        names += name + L'|';
        list += name.size() + 1;
    }
    return names;
}

int AnswerAsWindows(SHFILEOPSTRUCTW* operation) {
    g_answer.function = operation->wFunc;
    g_answer.flags = operation->fFlags;
    g_answer.from = NameList(operation->pFrom);
    g_answer.to = NameList(operation->pTo);
    operation->fAnyOperationsAborted = g_answer.aborted;
    return g_answer.result;
}

TEST(Shell, TheShellsRefusalsAndAbortsAreFailures) {
    const std::string download = "C:\\Downloads\\\u4e0b\u8f7d\\server \U0001F600.exe";
    const std::string modules = "C:\\Server \u0141\u00f3d\u017a\\modules";
    g_answer = Answering(0, false);
    EXPECT_TRUE(ShellFileOperation(0, {download, download + "2"}, modules, true, &AnswerAsWindows));
    EXPECT_EQ(g_answer.function, static_cast<UINT>(FO_MOVE));
    EXPECT_EQ(g_answer.flags, 0) << "the shell must ask before replacing and show its errors";
    EXPECT_EQ(platform::win32::Utf8(g_answer.from), download + "|" + download + "2|");
    EXPECT_EQ(platform::win32::Utf8(g_answer.to), modules + "|");
    // With nobody to answer, the shell neither asks nor shows anything; a failure still counts.
    EXPECT_TRUE(ShellFileOperation(0, {download}, modules, true, &AnswerAsWindows, true));
    EXPECT_EQ(g_answer.flags, FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI | FOF_SILENT);
    g_answer = Answering(0x7C, false);
    EXPECT_FALSE(ShellFileOperation(0, {download}, modules, true, &AnswerAsWindows, true));

    g_answer = Answering(0, true);  // "No" to replacing: success returned, the abort flagged
    EXPECT_FALSE(ShellFileOperation(0, {download}, modules, true, &AnswerAsWindows));
    g_answer =
        Answering(0x7C, false);  // a missing source: the shell's error shown, non-zero returned
    EXPECT_FALSE(ShellFileOperation(0, {download}, modules, false, &AnswerAsWindows));
    EXPECT_EQ(g_answer.function, static_cast<UINT>(FO_COPY));
    g_answer = {};
    EXPECT_FALSE(ShellFileOperation(0, {download, ""}, modules, true, &AnswerAsWindows));
    EXPECT_EQ(g_answer.function, 0u) << "an empty name would end the list early";
}

TEST(Shell, FolderPickerOpensOnTheFolderAndGivesItBack) {
    TempDir dir;
    const std::string start = Join(dir.path(), "downloads \u0141\u00f3d\u017a \u4e0b\u8f7d");
    std::filesystem::create_directory(platform::PathFromUtf8(start));
    const unsigned flags = platform::BrowseFlags(true, false, true);

    std::string folder = start;
    auto picked = AnswerNextDialog(IDOK, "downloads \u0141\u00f3d\u017a \u4e0b\u8f7d");
    EXPECT_TRUE(platform::win32::BrowseForFolder(0, "Download directory", L"", folder, flags));
    const Dialog shown = picked.get();
    ASSERT_NE(shown.window, nullptr);
    EXPECT_NE(shown.texts.find("Download directory"), std::string::npos) << shown.texts;
    EXPECT_STRCASEEQ(folder.c_str(), start.c_str());

    auto cancelled = AnswerNextDialog(IDCANCEL);
    EXPECT_FALSE(platform::win32::BrowseForFolder(0, "Download directory", L"", folder, flags));
    ASSERT_NE(cancelled.get().window, nullptr);
    EXPECT_STRCASEEQ(folder.c_str(), start.c_str());

    folder = Join(dir.path(), "gone");  // not a folder: emptied, also when cancelled
    auto again = AnswerNextDialog(IDCANCEL);
    EXPECT_FALSE(platform::win32::BrowseForFolder(0, "Download directory", L"", folder, flags));
    ASSERT_NE(again.get().window, nullptr);
    EXPECT_EQ(folder, "");
}

}  // namespace
