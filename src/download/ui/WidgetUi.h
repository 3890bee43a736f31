#pragma once
// The engine's face in the window program: its modal progress window, a warning box for a
// run's failures and the proxy login dialog, each owned by the window the run belongs to.
#include <QWidget>

#include "download/Clock.h"
#include "download/EngineUi.h"

namespace download {

// The window program's own window behind an owner handle, and back.
inline OwnerWindow OwnerOf(QWidget* widget) {
    return OwnerWindow{widget};
}
inline QWidget* WidgetOf(OwnerWindow owner) {
    return static_cast<QWidget*>(owner.window);
}

// `windowClock` paces the progress window's refresh; unset: the system clock.
EngineUi WidgetUi(Clock* windowClock = nullptr);

}  // namespace download
