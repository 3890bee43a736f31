#pragma once
// Opens a file that must be a plain file of this program's own, never following a link that
// someone planted under its name: a download's partial bytes are written there, and a link
// would carry them to wherever it points.
#include <string>

namespace platform {

struct OpenedPlainFile {
    int fd = -1;                 // a C runtime descriptor, open for reading and writing
    bool inTheWay = false;       // a link, a folder, a device or a file with a second name
    bool heldElsewhere = false;  // locked by another open of it, most likely another process
    int error = 0;               // errno of any other failure
};

enum class PlainFileLock {
    None,
    Try,   // taken at once or not at all (heldElsewhere)
    Wait,  // waited for as long as another holds it
};

// `pathUtf8` is opened (created when `create` and absent) without following a link at its
// last step, and checked on the opened handle: only a plain file with this one name is
// handed out. With a lock, that open holds the file for this process until `fd` is closed,
// against every other open that asks for the lock too; a file held elsewhere is handed out
// to nobody and left as it is.
OpenedPlainFile OpenPlainFile(const std::string& pathUtf8, bool create,
                              PlainFileLock lock = PlainFileLock::None);

// Closes a descriptor handed out above, and with it any lock it holds.
void ClosePlainFile(int fd);

// Whether `pathUtf8` still names the plain file open as `fd`, and not something swapped in
// under its name meanwhile; checked right before the name is handed on.
bool StillNamesPlainFile(int fd, const std::string& pathUtf8);

}  // namespace platform
