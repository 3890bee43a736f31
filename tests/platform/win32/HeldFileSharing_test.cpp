// While a file is held nobody writes it; while it is held for starting nobody renames or
// deletes it either; a file someone else is writing is not held at all.
#include <windows.h>
#include <gtest/gtest.h>
#include <io.h>

#include <cerrno>

#include "platform/HeldFile.h"
#include "platform/win32/Wide.h"
#include "support/TempDir.h"

namespace {

using platform::HeldFile;
using platform::win32::Wide;

// The error of opening `path` for writing, 0 when it opened.
DWORD WriteOpenError(const std::string& path) {
    const HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(handle);
    return 0;
}

bool Rename(const std::string& from, const std::string& to) {
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), 0) != 0;
}

TEST(HeldFileSharing, NobodyWritesItAndOnlyOneHeldForMovingIsRenamed) {
    TempDir dir;
    const std::string path = dir.Write("jos\u00e9 \u4e0b\u8f7d \U0001F600.exe", "checked");
    const std::string aside = path + ".aside";
    {
        HeldFile held(path, HeldFile::Use::Start);
        ASSERT_TRUE(held.isOpen()) << held.error();
        EXPECT_EQ(WriteOpenError(path), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_FALSE(Rename(path, aside));
        EXPECT_FALSE(DeleteFileW(Wide(path).c_str()));
        char bytes[16] = {};
        EXPECT_EQ(_read(held.fd(), bytes, sizeof bytes), 7);
        EXPECT_STREQ(bytes, "checked");
        held.close();
        EXPECT_TRUE(Rename(path, aside)) << "let go";
    }
    {
        const HeldFile held(aside, HeldFile::Use::Move);
        ASSERT_TRUE(held.isOpen()) << held.error();
        EXPECT_EQ(WriteOpenError(aside), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        ASSERT_TRUE(Rename(aside, path));
        EXPECT_TRUE(held.isNamedBy(path));
    }
    EXPECT_EQ(dir.Read("jos\u00e9 \u4e0b\u8f7d \U0001F600.exe"), "checked");

    const HANDLE writer = CreateFileW(Wide(path).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    for (const auto use : {HeldFile::Use::Start, HeldFile::Use::Move}) {
        const HeldFile refused(path, use);
        EXPECT_FALSE(refused.isOpen());
        EXPECT_EQ(refused.error(), EBUSY);
    }
    CloseHandle(writer);

    const HeldFile folder(dir.path(), HeldFile::Use::Start);
    EXPECT_FALSE(folder.isOpen());
    EXPECT_EQ(folder.error(), EISDIR);
}

}  // namespace
