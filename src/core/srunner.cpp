#include "core/srunner.h"

#include <utility>

namespace {

constexpr const char* kServerTitle = "Corvalite Webserver";
constexpr const char* kStatusClass = "TStaticText";
constexpr std::size_t kStatusBytes = 255;  // what a 256-byte buffer holds besides its zero

}  // namespace

TServerRunner::TServerRunner(std::string launcherPath, platform::Desktop& desktop)
    : LauncherPath(std::move(launcherPath)), desktop_(&desktop) {}

void TServerRunner::Refresh() {
    ServerWindow = desktop_->FindTopLevelWindow(nullptr, kServerTitle);
    Running = ServerWindow != 0;
    StatusR = false;
    if (!Running) return;
    const platform::WindowId status = desktop_->FindChildWindow(ServerWindow, kStatusClass);
    if (status == 0) return;
    const std::string text = desktop_->WindowTextOf(status, kStatusBytes);
    StatusR = !text.empty() && text.front() == 'R';
}
