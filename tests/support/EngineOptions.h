#pragma once
// Options of the real engine for tests: a direct connection whatever proxy the host has,
// and the one failure message of a run recorded instead of shown.
#include <QString>

#include "download/QtDownloadEngine.h"
#include "download/ui/WidgetUi.h"

namespace testsupport {

struct ShownFailures {
    int count = 0;
    QString title;
    QString text;
};

QtDownloadEngine::Options EngineOptions(ShownFailures& shown);

}  // namespace testsupport
