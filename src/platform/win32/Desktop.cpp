// Window lookup through the window functions themselves: they see every top-level window of
// this desktop, shown or hidden, and compare whole class names and titles ignoring case.
#include <windows.h>
#undef GetWindowText  // the service has a member of that name
#undef OpenDesktop    // and our factory would become OpenDesktopA for callers without windows.h

#include <cstdint>
#include <vector>

#include "platform/Desktop.h"

namespace platform {
namespace {

HWND Handle(WindowId window) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window));
}

WindowId Id(HWND window) {
    return static_cast<WindowId>(reinterpret_cast<std::uintptr_t>(window));
}

class Win32Desktop final : public Desktop {
  public:
    WindowId FindTopLevelWindow(const char* className, const char* title) override {
        return Id(FindWindowA(className, title));
    }

    WindowId FindChildWindow(WindowId parent, const char* className) override {
        if (parent == 0) return 0;  // a null parent would mean the desktop's own children
        return Id(FindWindowExA(Handle(parent), nullptr, className, nullptr));
    }

    std::string GetWindowText(WindowId window, std::size_t maxBytes) override {
        if (window == 0 || maxBytes == 0) return {};
        // A cleared buffer with room for the terminating zero.
        std::vector<char> buffer(maxBytes + 1, '\0');
        const int copied =
            ::GetWindowTextA(Handle(window), buffer.data(), static_cast<int>(buffer.size()));
        return std::string(buffer.data(), copied > 0 ? static_cast<std::size_t>(copied) : 0);
    }
};

}  // namespace

std::unique_ptr<Desktop> OpenDesktop() {
    return std::make_unique<Win32Desktop>();
}

}  // namespace platform
