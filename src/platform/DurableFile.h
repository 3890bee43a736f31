#pragma once
// Files that must survive a stop at any moment: each is written under a temporary name, synced,
// and only then renamed into place, so its name always names either the old or the new bytes.
// Nothing here follows a link planted under one of these names.
#include <string>

namespace platform {

// Writes `bytes` as `pathUtf8`, replacing what was there in one rename.
bool WriteFileDurably(const std::string& pathUtf8, const std::string& bytes);

// Copies `fromUtf8` to `toUtf8` through `tempUtf8` (left behind only by a stop); the copy
// replaces `toUtf8` in one rename once it is on disk.
bool CopyFileDurably(const std::string& fromUtf8, const std::string& toUtf8,
                     const std::string& tempUtf8);

// Renames `fromUtf8` over `toUtf8` in one step and waits until the rename is on disk.
bool RenameOver(const std::string& fromUtf8, const std::string& toUtf8);

}  // namespace platform
