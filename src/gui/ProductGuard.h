#pragma once
// Whether a file of a product may be replaced now: a running product holds its modules, so an
// install and a restore refuse alike, with the same notice.
#include <string>

#include "core/Unit1Install.h"
#include "platform/Desktop.h"

class TForm1;
class TServerRunner;

// Asked at this moment: an earlier probe may be stale.
bool IsGuardedProductRunning(platform::Desktop& desktop, TServerRunner& server, RunningGuard guard);
bool IsGuardedProductRunning(TForm1& form, RunningGuard guard);

// True when the product that `path` (a download or an installed file) belongs to is running;
// the user has then been told so.
bool RefuseWhileProductRuns(platform::Desktop& desktop, TServerRunner& server,
                            const std::string& path);
bool RefuseWhileProductRuns(TForm1& form, const std::string& path);
