#pragma once
// Sets (or unsets) environment variables for a scope and puts back what was there before.
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ScopedEnvironment {
  public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    // value nullopt unsets the variable. The first value seen for a name is the one restored.
    void Set(const std::string& name, const std::optional<std::string>& value);

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};
