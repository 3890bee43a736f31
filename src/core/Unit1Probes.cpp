#include "core/Unit1Probes.h"

namespace {

// The editor's single-instance window is identified by both, never by one alone.
constexpr const char* kEditorClass = "TInstanceManager[{84E5590F-45D5-4688-BACC-5206DC9AC990}]";
constexpr const char* kEditorTitle = "RAZE [{1966A98B-6E27-467D-A520-0C7061650A0A}]";

}  // namespace

bool IsEditorRunning(platform::Desktop& desktop) {
    return desktop.FindTopLevelWindow(kEditorClass, kEditorTitle) != 0;
}
