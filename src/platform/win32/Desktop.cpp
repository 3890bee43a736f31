// Window lookup through the window functions themselves: they see every top-level window of
// this desktop, shown or hidden, and compare whole class names and titles ignoring case.
#include <windows.h>

#include <cstdint>
#include <vector>

#include "platform/Desktop.h"
#include "platform/WindowText.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

HWND Handle(WindowId window) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window));
}

WindowId Id(HWND window) {
    return static_cast<WindowId>(reinterpret_cast<std::uintptr_t>(window));
}

// A null name stays null (any window); the wide copy lives as long as the call needs it.
class WideName {
  public:
    explicit WideName(const char* name) : null_(name == nullptr) {
        if (name) text_ = win32::Wide(name);
    }
    const wchar_t* get() const { return null_ ? nullptr : text_.c_str(); }

  private:
    bool null_;
    std::wstring text_;
};

class Win32Desktop final : public Desktop {
  public:
    WindowId FindTopLevelWindow(const char* className, const char* title) override {
        return Id(FindWindowW(WideName(className).get(), WideName(title).get()));
    }

    WindowId FindChildWindow(WindowId parent, const char* className) override {
        if (parent == 0) return 0;  // a null parent would mean the desktop's own children
        return Id(FindWindowExW(Handle(parent), nullptr, WideName(className).get(), nullptr));
    }

    std::string WindowTextOf(WindowId window, std::size_t maxBytes) override {
        if (window == 0 || maxBytes == 0) return {};
        const int length = GetWindowTextLengthW(Handle(window));
        if (length <= 0) return {};
        // The length may only be an upper bound; room for the terminating zero.
        std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
        const int copied =
            GetWindowTextW(Handle(window), buffer.data(), static_cast<int>(buffer.size()));
        buffer.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
        return ClipWindowText(win32::Utf8(buffer), maxBytes);
    }
};

}  // namespace

std::unique_ptr<Desktop> OpenSessionDesktop() {
    return std::make_unique<Win32Desktop>();
}

}  // namespace platform
