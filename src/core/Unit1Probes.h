#pragma once
// The editor's probe: asked before its executables are replaced.
#include "platform/Desktop.h"

// True while the editor's instance window exists on the desktop.
bool IsEditorRunning(platform::Desktop& desktop);
