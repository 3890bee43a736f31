#pragma once
// Whether a file of a product may be replaced now: a running product holds its modules, so an
// install and a restore refuse alike, with the same notice.
#include <string>

#include "core/Unit1Install.h"

class TForm1;

// Asked at this moment: an earlier probe may be stale.
bool IsGuardedProductRunning(TForm1& form, RunningGuard guard);

// True when the product that `path` (a download or an installed file) belongs to is running;
// the user has then been told so.
bool RefuseWhileProductRuns(TForm1& form, const std::string& path);
