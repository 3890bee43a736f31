#pragma once
// The font the windows are laid out for. Their sizes are fixed pixels measured in Tahoma, so
// the program brings Wine's Tahoma in itself when it is installed, whatever the user's font
// configuration lists, and otherwise takes the installed family whose widths come closest.
#include <QFont>
#include <QStringList>

namespace toolkit {

inline constexpr const char* kWineTahoma = "/usr/share/wine/fonts/tahoma.ttf";

// Tahoma at the given pixel size; the first call registers the font or picks its stand-in.
QFont DesignedFont(int pixelSize);

// Of `candidates`, the installed family whose width for the designed texts comes closest to
// Tahoma's; empty when none is installed.
QString ClosestToTahoma(const QStringList& candidates);

}  // namespace toolkit
