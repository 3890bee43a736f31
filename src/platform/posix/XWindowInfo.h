#pragma once
// What the desktop lookups need to know about an X window, each read in one request or two.
// Every function answers "nothing" for a window that no longer exists.
#include <X11/Xlib.h>

#include <string>
#include <vector>

namespace platform::x11 {

// Direct children, lowest in the stacking order first.
std::vector<Window> ChildrenOf(Display* display, Window window);
// The application's own window at or below a top-level window (window managers put frames
// around clients); the window itself when none is marked as a client.
Window ClientBelow(Display* display, Window topLevel);
// The title, UTF-8: _NET_WM_NAME, else WM_NAME converted from its encoding.
std::string TitleOf(Display* display, Window window);
// The class part of WM_CLASS.
std::string ClassOf(Display* display, Window window);

}  // namespace platform::x11
