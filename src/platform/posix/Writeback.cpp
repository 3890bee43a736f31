#include "platform/Writeback.h"

#include <fcntl.h>
#include <unistd.h>

namespace platform {

void StartWriteback(int fileDescriptor, std::int64_t offset, std::int64_t length) {
#ifdef __linux__
    if (fileDescriptor >= 0 && length > 0)
        ::sync_file_range(fileDescriptor, offset, length, SYNC_FILE_RANGE_WRITE);
#else
    static_cast<void>(fileDescriptor);
    static_cast<void>(offset);
    static_cast<void>(length);
#endif
}

bool SyncToDisk(int fileDescriptor) {
    return fileDescriptor >= 0 && ::fsync(fileDescriptor) == 0;
}

}  // namespace platform
