#pragma once
// Top-level windows of the current desktop, looked up the way the Windows window
// functions do: whole class names and whole titles, ignoring case.
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

using WindowId = std::uint64_t;  // 0: no window

class Desktop {
  public:
    virtual ~Desktop() = default;
    // A null class or title matches any. 0 when there is no such window.
    virtual WindowId FindTopLevelWindow(const char* className, const char* title) = 0;
    // The first direct child of parent whose class is className; 0 when none.
    virtual WindowId FindChildWindow(WindowId parent, const char* className) = 0;
    // The window's text, at most maxBytes bytes.
    virtual std::string WindowTextOf(WindowId window, std::size_t maxBytes) = 0;
};

// The desktop of this session (X11 on POSIX); without a display no window exists.
std::unique_ptr<Desktop> OpenSessionDesktop();

}  // namespace platform
