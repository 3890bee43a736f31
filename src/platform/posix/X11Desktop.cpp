// Window lookup on an X11 desktop.
//
// Each call opens its own connection and closes it again. The probes run once per install
// command, so the cost is a local round trip or two, and in exchange no connection outlives a
// server restart or a change of session, and no X state lingers between commands.
#include <X11/Xlib.h>

#include <vector>

#include "platform/Desktop.h"
#include "platform/WindowText.h"
#include "platform/posix/XSession.h"
#include "platform/posix/XWindowInfo.h"

namespace platform {
namespace {

// Every top-level window counts, shown or not: a program's hidden instance window says it runs
// as much as its main window does. A window manager's client list names only the windows it
// manages, so the tree below the root is walked instead, looking through frames to the
// clients, from the top of the stacking order down.
std::vector<Window> TopLevelClients(Display* display) {
    const std::vector<Window> tops = x11::ChildrenOf(display, DefaultRootWindow(display));
    std::vector<Window> clients;
    clients.reserve(tops.size());
    for (auto top = tops.rbegin(); top != tops.rend(); ++top)
        clients.push_back(x11::ClientBelow(display, *top));
    return clients;
}

class X11Desktop final : public Desktop {
  public:
    WindowId FindTopLevelWindow(const char* className, const char* title) override {
        const x11::XSession session;
        Display* const display = session.display();
        if (display == nullptr) return 0;
        for (const Window window : TopLevelClients(display)) {
            if (session.lost()) return 0;
            // The title rules out nearly every window, so it is read first.
            if (WindowTextMatches(title, x11::TitleOf(display, window)) &&
                WindowTextMatches(className, x11::ClassOf(display, window)))
                return window;
        }
        return 0;
    }

    // Children come in stacking order from the bottom: the order of creation, unless the
    // program restacked them.
    WindowId FindChildWindow(WindowId parent, const char* className) override {
        const x11::XSession session;
        Display* const display = session.display();
        if (display == nullptr || parent == 0) return 0;
        for (const Window child : x11::ChildrenOf(display, static_cast<Window>(parent))) {
            if (session.lost()) return 0;
            if (WindowTextMatches(className, x11::ClassOf(display, child))) return child;
        }
        return 0;
    }

    std::string WindowTextOf(WindowId window, std::size_t maxBytes) override {
        const x11::XSession session;
        Display* const display = session.display();
        if (display == nullptr || window == 0) return {};
        return ClipWindowText(x11::TitleOf(display, static_cast<Window>(window)), maxBytes);
    }
};

}  // namespace

std::unique_ptr<Desktop> OpenSessionDesktop() {
    return std::make_unique<X11Desktop>();
}

}  // namespace platform
