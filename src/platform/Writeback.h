#pragma once
// Asks the system to start writing a stretch of an open file to disk without waiting for it,
// so a later sync of the whole file finds little left to do. A hint: where the system has
// no such call, or the call fails, nothing happens.
#include <cstdint>

namespace platform {

void StartWriteback(int fileDescriptor, std::int64_t offset, std::int64_t length);

}  // namespace platform

namespace platform {

// Waits until everything written to the open file is on the disk; false when that failed.
bool SyncToDisk(int fileDescriptor);

}  // namespace platform
