#pragma once
// What the platform tests need from their backend: a hive of their own and the paths of the
// PE files built with them.
#include <memory>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "support/TempDir.h"

namespace platformtest {

// A registry the test may write: on Windows a key of its own below the real
// HKEY_CURRENT_USER (deleted afterwards), elsewhere a fresh hive file.
class ScratchHive {
  public:
    ScratchHive();
    ~ScratchHive();
    ScratchHive(const ScratchHive&) = delete;
    ScratchHive& operator=(const ScratchHive&) = delete;

    platform::RegistryHive& hive() { return *hive_; }
    // Another view of the same store, as the next run of the program would open it.
    std::unique_ptr<platform::RegistryHive> Reopen() const;
    // The key below which the test writes, with a leading backslash.
    const std::string& root() const { return root_; }

  private:
    TempDir folder_;
    std::string root_;
    std::unique_ptr<platform::RegistryHive> hive_;
};

// folder, the platform's delimiter, name.
std::string Join(const std::string& folder, const std::string& name);

// Names as users have them: Latin-1, a letter outside code page 1252, CJK, an emoji.
inline const std::vector<std::string> kUnicodeNames{
    "Gr\u00f6\u00dfe \u00dcn\u00efcode", "\u0141\u00f3d\u017a", "\u4e0b\u8f7d", "emoji \U0001F600"};

// A PE file made by the MinGW binutils at build time ("mingw_pe32.exe", "mingw_pe32plus.exe").
std::string PeFixture(const std::string& name);

// A file of tests/platform/make-signed-fixtures.sh, made at build time ("signed-primary.exe",
// "primary.spki-sha256", "root.der"…).
std::string SignedFixture(const std::string& name);

}  // namespace platformtest
