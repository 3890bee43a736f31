#pragma once
// Checks that depend on file permissions, which root overrides: run in this process when it is
// not root, otherwise in a child process that has become nobody.
#include <functional>

enum class CheckOutcome { Passed, Failed, Skipped };

CheckOutcome CheckWithoutRoot(const std::function<bool()>& check);
