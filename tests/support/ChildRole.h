#pragma once
// Some tests need a part of themselves in another process, one they can kill in the middle of
// a write. That part is a child role of the test program: main() runs it, and nothing else,
// when the program is started with CORVALITE_TEST_CHILD naming it, so it is never a test.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace testsupport {

// Registers a role while the program initialises; true, so that it can initialise a constant.
bool RegisterChildRole(const std::string& name, std::function<void()> role);
// For main(): when the environment names a role, runs it and gives the exit code.
std::optional<int> RunChildRoleIfAsked();
// This test program started again as the named role, with extra "NAME=value" entries.
std::optional<ChildProcess> StartChildRole(const std::string& name,
                                           std::vector<std::string> extraEnv = {});

}  // namespace testsupport

#define CORVALITE_CHILD_ROLE(name)                        \
    static void name();                                   \
    [[maybe_unused]] static const bool name##Registered = \
        testsupport::RegisterChildRole(#name, name);      \
    static void name()
