#include "support/FakeDesktop.h"

#include <algorithm>
#include <utility>

#include "platform/WindowText.h"

using platform::WindowId;

WindowId FakeDesktop::AddWindow(std::string className, std::string title) {
    const WindowId id = nextId_++;
    windows_.push_back({id, 0, std::move(className), std::move(title)});
    return id;
}

WindowId FakeDesktop::AddChild(WindowId parent, std::string className, std::string text) {
    if (Find(parent) == nullptr) return 0;
    const WindowId id = nextId_++;
    windows_.push_back({id, parent, std::move(className), std::move(text)});
    return id;
}

void FakeDesktop::RemoveWindow(WindowId window) {
    std::vector<WindowId> doomed{window};
    // Children always come after their parent, so one pass collects the whole subtree.
    for (const Window& w : windows_) {
        if (std::find(doomed.begin(), doomed.end(), w.parent) != doomed.end())
            doomed.push_back(w.id);
    }
    std::erase_if(windows_, [&](const Window& w) {
        return std::find(doomed.begin(), doomed.end(), w.id) != doomed.end();
    });
}

void FakeDesktop::SetText(WindowId window, std::string text) {
    for (Window& w : windows_) {
        if (w.id == window) w.text = std::move(text);
    }
}

void FakeDesktop::Clear() {
    windows_.clear();
}

WindowId FakeDesktop::FindTopLevelWindow(const char* className, const char* title) {
    ++topLevelLookups_;
    for (const Window& w : windows_) {
        if (w.parent == 0 && platform::WindowTextMatches(className, w.className) &&
            platform::WindowTextMatches(title, w.text))
            return w.id;
    }
    return 0;
}

WindowId FakeDesktop::FindChildWindow(WindowId parent, const char* className) {
    if (parent == 0) return 0;
    for (const Window& w : windows_) {
        if (w.parent == parent && platform::WindowTextMatches(className, w.className)) return w.id;
    }
    return 0;
}

std::string FakeDesktop::WindowTextOf(WindowId window, std::size_t maxBytes) {
    const Window* w = Find(window);
    return w == nullptr ? std::string() : platform::ClipWindowText(w->text, maxBytes);
}

const FakeDesktop::Window* FakeDesktop::Find(WindowId window) const {
    const auto it = std::find_if(windows_.begin(), windows_.end(),
                                 [&](const Window& w) { return w.id == window; });
    return it == windows_.end() ? nullptr : &*it;
}
