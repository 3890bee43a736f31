#pragma once
// What the message dialog takes from the system it runs on: the message font and the stock
// icon of each kind of message (Windows' own on Windows, the style's elsewhere).
#include <QFont>
#include <QPixmap>

#include "gui/MessDlgs.h"

class QWidget;

namespace messdlgs {

QFont SystemMessageFont();
QPixmap SystemMessageIcon(DialogType type, const QWidget& form, int size);

}  // namespace messdlgs
