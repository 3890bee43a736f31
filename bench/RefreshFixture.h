#pragma once
// The catalogue and installation the refresh benchmarks work on: `size` entries in each of
// the four lists, and an installation holding every second one of them (PHP sub-folders,
// debugger library files, module and utility PE files with real version records).
// Entry numbers are zero-padded so the lists' sorted order is the order of the numbers.
#include <string>

namespace bench {

enum class ListKind { kPhp, kDebugger, kModules, kUtils };

inline bool IsPresent(long index) {
    return index % 2 == 0;
}

std::string Entry(ListKind kind, long index);
// The text the newline-joined catalogue script answers for a list of `size` entries.
std::string CatalogueText(ListKind kind, long size);
// The versions script's answer: latest editor and web server versions.
std::string VersionsText();

// The links and display texts the refresh is expected to show.
inline constexpr const char* kDownloadBase = "http://files.test";
std::string EntryLink(ListKind kind, long index);
std::string PhpDisplayName(long index);

// Where everything lies below one root folder.
struct Installation {
    std::string root;
    std::string EditorPath() const { return root + "/editor/phped.exe"; }
    std::string ListenerPath() const { return root + "/editor/DbgListener.exe"; }
    std::string AppData() const { return root + "/appdata/"; }
    std::string LauncherPath() const { return AppData() + "Zelmarock/corvalitesrv.exe"; }
    std::string PhpFolder() const { return root + "/editor/php"; }
    std::string DebuggerFolder() const { return root + "/editor/bin/server"; }
    std::string ModulesFolder() const { return AppData() + "Zelmarock/modules"; }
    std::string UtilsFolder() const { return AppData() + "Zelmarock/modules/utils"; }
    // The installed entry's path for the lists whose entries are files or folders.
    std::string EntryPath(ListKind kind, long index) const;
};

// Writes the installation for `size` entries per list below root, unless a finished one
// for that size is there already (several benchmark processes share one).
Installation BuildInstallation(const std::string& root, long size);

}  // namespace bench
