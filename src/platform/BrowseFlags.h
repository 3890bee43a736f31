#pragma once
// The folder picker's option bits, with the values the Windows shell gives them, so a
// Windows picker can pass them on unchanged and every other picker reads the same word.

namespace platform {

inline constexpr unsigned kBifReturnOnlyFsDirs = 0x0001;
inline constexpr unsigned kBifEditBox = 0x0010;
inline constexpr unsigned kBifNewDialogStyle = 0x0040;
inline constexpr unsigned kBifNoNewFolderButton = 0x0200;
inline constexpr unsigned kBifBrowseIncludeFiles = 0x4000;

// Only file-system folders, the resizable picker, and what the caller asked for.
constexpr unsigned BrowseFlags(bool showEditBox, bool includeFiles, bool allowNewFolder) {
    unsigned flags = kBifReturnOnlyFsDirs | kBifNewDialogStyle;
    if (showEditBox) flags |= kBifEditBox;
    if (includeFiles) flags |= kBifBrowseIncludeFiles;
    if (!allowNewFolder) flags |= kBifNoNewFolderButton;
    return flags;
}

static_assert(BrowseFlags(true, false, true) == 0x0051);

}  // namespace platform
