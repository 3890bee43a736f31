#pragma once
// A downloaded file held open from the check of its signature until it has been started or
// placed, so that what was checked is what is used. On Windows nobody may write to it while
// it is held (nor rename or delete it, when held for starting); elsewhere, and after a move
// everywhere, the caller asks whether a name still names the very file that was checked.
#include <string>

namespace platform {

class HeldFile {
  public:
    enum class Use {
        Start,  // started from where it lies: nobody may rename it away meanwhile
        Move,   // renamed into place by us, so renaming stays allowed
    };

    // Opens `pathUtf8` for reading without following a link at its last step; only a plain
    // file with this one name is held.
    HeldFile(const std::string& pathUtf8, Use use);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    // A C runtime descriptor open for reading; -1 when not open.
    int fd() const { return fd_; }
    // errno of a failed open (ENOENT, EACCES, EBUSY when someone else writes it on Windows…).
    int error() const { return error_; }
    // Whether `pathUtf8` names the held file right now, and not something put in its place.
    bool isNamedBy(const std::string& pathUtf8) const;
    // Lets go before the file is removed or replaced (Windows refuses that while held).
    void close();

  private:
    int fd_ = -1;
    int error_ = 0;
#ifdef _WIN32
    // The volume the file was opened on: Wine cannot tell it from the handle any more once
    // the file was renamed through another handle, as a move into place does.
    unsigned long volume_ = 0;
#endif
};

}  // namespace platform
