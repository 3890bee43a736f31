#pragma once
// One short-lived, quiet connection to the X server for one desktop lookup.
#include <X11/Xlib.h>

namespace platform::x11 {

// Opens the display named by DISPLAY for the lifetime of the object. While it lives, X errors
// (a window that vanished mid-walk) and a lost connection are absorbed instead of printing and
// ending the process; the previous handlers come back on destruction.
class XSession {
  public:
    XSession();
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // Null when there is no display or it cannot be opened.
    Display* display() const { return display_; }
    // True once the connection has been lost; every further request then fails harmlessly.
    bool lost() const { return lost_; }

  private:
    static void OnConnectionLost(Display* display, void* session);

    Display* display_ = nullptr;
    bool lost_ = false;
    XErrorHandler previousErrorHandler_ = nullptr;
    XIOErrorHandler previousIoErrorHandler_ = nullptr;
};

}  // namespace platform::x11
