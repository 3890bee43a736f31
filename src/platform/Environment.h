#pragma once
// The process's environment variables in UTF-8. Windows keeps them in UTF-16 and its narrow
// getenv answers in the ANSI code page, which cannot hold every name a proxy URL may carry.
#include <optional>
#include <string>

namespace platform {

// Unset: nullopt; set but empty: "".
std::optional<std::string> EnvironmentVariable(const std::string& name);

// nullopt removes the variable.
void PutEnvironmentVariable(const std::string& name, const std::optional<std::string>& value);

}  // namespace platform
