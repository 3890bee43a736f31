#pragma once
// Moving or copying one file into a folder without ever losing a file: a rename where one
// will do, otherwise a copy that only becomes visible (by rename) once it is complete and on
// disk, and only then is the source removed.
#include <string>

namespace platform {

enum class TransferMode { Move, Copy };

enum class TransferError {
    None,
    SourceMissing,  // no such file (or it vanished while we worked)
    SourceNotFile,  // a folder or device, not a plain file
    SourceUnreadable,
    SourceFolderNotWritable,  // a move must take the file out of its folder
    TargetFolderMissing,
    TargetFolderNotWritable,
    TargetExists,    // a file of that name is there and replacing was not allowed
    TargetReadOnly,  // the file to be replaced is read-only
    TargetNotFile,   // a folder of that name is in the way
    SameFile,        // source and target are one file
    DiskFull,
    SourceKept,  // copied into place, but the source could not be removed
    Other,
};

struct TransferResult {
    TransferError error = TransferError::None;
    std::string detail;  // the system's own words, when it gave any
    bool ok() const { return error == TransferError::None; }
};

// Where source lands in folder: folder, one delimiter, the source's file name, or the name of
// a file already there that differs from it only in letter case (the one it would replace).
std::string TransferTarget(const std::string& source, const std::string& folder);

// Whether something of source's name already sits in folder (so the caller can ask first).
bool TransferTargetExists(const std::string& source, const std::string& folder);

// Moves or copies source into folder under its own name. An existing file of that name is
// replaced only when replaceExisting is true, and never when it is read-only.
TransferResult TransferFile(const std::string& source, const std::string& folder, TransferMode mode,
                            bool replaceExisting);

}  // namespace platform
