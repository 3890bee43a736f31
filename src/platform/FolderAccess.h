#pragma once
// Whether this process may create and remove files in a folder, as the system decides it for
// this user (permissions, read-only mounts), not merely what the mode bits say.
#include <string>

namespace platform {

bool CanWriteFolder(const std::string& folder);

}  // namespace platform
