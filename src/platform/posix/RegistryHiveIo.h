#pragma once
// File work behind the hive: a size-capped read, an exclusive lock between processes,
// an atomic replace and keeping a damaged file aside.
#include <functional>
#include <string>

#include "platform/posix/RegistryHiveModel.h"

namespace platform::posix {

// Past this a hive file is taken as damaged without being read; ours are a few KiB.
inline constexpr long long kMaxHiveFileSize = 64LL * 1024 * 1024;

struct HiveFile {
    enum State { kMissing, kOk, kDamaged, kUnreadable } state = kMissing;
    HiveModel model;
    std::string detail;  // why it is damaged or unreadable
};

HiveFile ReadHiveFile(const std::string& path);

// Holds flock() on `<hive>.lock` (created with the hive's folder when missing). The lock
// file stays: removing it would let two writers lock different files.
class HiveLock {
  public:
    explicit HiveLock(const std::string& hivePath);
    ~HiveLock();
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

// Writes `<path>.tmp`, flushes it to disk, renames it over path and flushes the folder.
// Call only with the lock held. False (and path untouched) on any failure. A symbolic
// link at path is kept: the file it points to is replaced.
bool ReplaceHiveFile(const std::string& path, const std::string& contents);

// Renames the file to "<path>.damaged-<time>" without replacing an earlier one; the new
// name, or empty when it could not be moved.
std::string MoveHiveAside(const std::string& path);

// Test seam: called at each step of ReplaceHiveFile; returning false makes that step
// fail like an I/O error. A test may also end the process inside it, like a crash.
enum class HiveWriteStep { kTempOpened, kHalfWritten, kWritten, kSynced, kRenamed };
void SetHiveWriteHook(std::function<bool(HiveWriteStep)> hook);

}  // namespace platform::posix
