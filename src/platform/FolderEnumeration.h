#pragma once
// Entries of a folder as the Windows find functions report them: the names that match a
// mask, each with its Windows attribute bits.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum FileAttribute : std::uint32_t {
    kFileAttributeReadOnly = 0x01,
    kFileAttributeHidden = 0x02,
    kFileAttributeSystem = 0x04,
    kFileAttributeVolumeLabel = 0x08,
    kFileAttributeDirectory = 0x10,
    kFileAttributeArchive = 0x20,
    kFileAttributeNormal = 0x80,
};

struct FolderEntry {
    std::string name;  // the plain name, no folder
    std::uint32_t attributes = 0;
};

enum class FindFilter {
    kEverything,
    // The request for directories: entries that are hidden, system or a volume label are
    // left out; everything else is reported, directories or not.
    kDirectories,
};

// Whether filter leaves out an entry with these attributes, on every backend alike.
bool LeftOutBy(FindFilter filter, std::uint32_t attributes);

// pattern is a folder, the platform's delimiter and a mask ("/opt/editor/php_dbg.*"); without
// a delimiter the mask applies to the current folder. Entries come in the order the file
// system enumerates them; a folder that cannot be read gives none.
std::vector<FolderEntry> FindEntries(std::string_view pattern, FindFilter filter);

// A Windows file mask: "*" any run of characters, "?" one character, ASCII case ignored;
// a mask ending in ".*" also takes the name without that extension ("*.*" takes everything).
bool MatchesMask(std::string_view name, std::string_view mask);

}  // namespace platform
