#include "platform/Writeback.h"

#include <windows.h>
#include <io.h>

namespace platform {

// Windows has no call that starts writing a file range without waiting; the final flush
// does all the work there.
void StartWriteback(int, std::int64_t, std::int64_t) {}

bool SyncToDisk(int fileDescriptor) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fileDescriptor));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
}

}  // namespace platform
