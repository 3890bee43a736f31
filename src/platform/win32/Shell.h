#pragma once
// The Windows shell's own services for the units: opening a folder in the explorer, moving
// or copying files with the shell's confirmations and progress, and the shell's folder
// picker. Owner windows are plain handles, so no toolkit type reaches this layer.
#include <cstdint>
#include <string>
#include <vector>

struct _SHFILEOPSTRUCTW;  // shellapi.h's record, named without pulling the header in

namespace platform::win32 {

using OwnerWindow = std::uintptr_t;  // an HWND; 0 for none

// The verb "explore" on folder; the shell's answer is not examined.
void ExploreFolder(OwnerWindow owner, const std::string& folder);

// The shell's file operation: SHFileOperationW, or a stand-in answering as it is documented to.
using FileOperation = int (*)(_SHFILEOPSTRUCTW*);

// Every file moved (or copied) into folder by the shell's file operation with no flags, so the
// shell asks before replacing and shows its own progress and errors. True when it reports
// success and nothing was aborted (a "No" to replacing). Quiet, with nobody to answer, it
// replaces without asking and shows nothing; its failure is still the result.
bool ShellFileOperation(OwnerWindow owner, const std::vector<std::string>& files,
                        const std::string& folder, bool move, FileOperation operate = nullptr,
                        bool quiet = false);

// The shell's folder picker. folder: in, preselected when it names an existing folder
// (otherwise emptied, which the caller sees even on cancel); out, the picked folder.
// rootPath (may be empty) confines browsing below it. flags as BrowseFlags gives them.
// The owner's other top-level windows take no input meanwhile. True when one was picked.
bool BrowseForFolder(OwnerWindow owner, const std::string& caption, const std::wstring& rootPath,
                     std::string& folder, unsigned flags);

}  // namespace platform::win32
