#include "support/ScopedEnvironment.h"

#include <algorithm>
#include <cstdlib>

namespace {

void Put(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    if (value)
        setenv(name.c_str(), value->c_str(), 1);
    else
        unsetenv(name.c_str());
#endif
}

}  // namespace

void ScopedEnvironment::Set(const std::string& name, const std::optional<std::string>& value) {
    const bool seen = std::any_of(saved_.begin(), saved_.end(),
                                  [&](const auto& entry) { return entry.first == name; });
    if (!seen) {
        const char* old = std::getenv(name.c_str());
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }
    Put(name, value);
}

ScopedEnvironment::~ScopedEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) Put(it->first, it->second);
}
