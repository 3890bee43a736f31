#include "support/ChildRole.h"

#include <cstdlib>
#include <iostream>
#include <map>

namespace testsupport {

namespace {

constexpr const char* kRoleVariable = "CORVALITE_TEST_CHILD";

std::map<std::string, std::function<void()>>& Roles() {
    static std::map<std::string, std::function<void()>> roles;
    return roles;
}

}  // namespace

bool RegisterChildRole(const std::string& name, std::function<void()> role) {
    Roles()[name] = std::move(role);
    return true;
}

std::optional<int> RunChildRoleIfAsked() {
    const char* const name = std::getenv(kRoleVariable);
    if (name == nullptr) return std::nullopt;
    const auto role = Roles().find(name);
    if (role == Roles().end()) {
        std::cerr << "no child role " << name << " in this test program\n";
        return 2;
    }
    role->second();
    return 0;
}

std::optional<ChildProcess> StartChildRole(const std::string& name,
                                           std::vector<std::string> extraEnv) {
    extraEnv.push_back(std::string(kRoleVariable) + "=" + name);
    return ChildProcess::Start({"/proc/self/exe"}, extraEnv);
}

}  // namespace testsupport
