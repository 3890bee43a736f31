#pragma once
// A scripted desktop for tests of the units that probe for running products: windows are
// added and removed by hand and looked up with the same matching rules as the real one.
#include <string>
#include <vector>

#include "platform/Desktop.h"

class FakeDesktop : public platform::Desktop {
  public:
    // A top-level window. Where several match, the one added first is found.
    platform::WindowId AddWindow(std::string className, std::string title);
    // A direct child of parent (a top-level window or another child); 0 when parent is unknown.
    platform::WindowId AddChild(platform::WindowId parent, std::string className, std::string text);
    // Removes the window and everything below it; unknown ids are ignored.
    void RemoveWindow(platform::WindowId window);
    void SetText(platform::WindowId window, std::string text);
    void Clear();

    platform::WindowId FindTopLevelWindow(const char* className, const char* title) override;
    platform::WindowId FindChildWindow(platform::WindowId parent, const char* className) override;
    std::string WindowTextOf(platform::WindowId window, std::size_t maxBytes) override;

    // How often a top-level lookup was made, so a test can tell that a probe really looked.
    int TopLevelLookups() const { return topLevelLookups_; }

  private:
    struct Window {
        platform::WindowId id;
        platform::WindowId parent;  // 0 for a top-level window
        std::string className;
        std::string text;
    };
    const Window* Find(platform::WindowId window) const;

    std::vector<Window> windows_;  // in creation order
    platform::WindowId nextId_ = 0x1000;
    int topLevelLookups_ = 0;
};
