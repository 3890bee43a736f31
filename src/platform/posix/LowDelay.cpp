#include "platform/LowDelay.h"

#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstdlib>

namespace platform {

int DisableSmallPacketDelay() {
#if defined(__linux__)
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) return 0;
    const int own = dirfd(folder);
    int changed = 0;
    while (const dirent* entry = readdir(folder)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == own) continue;
        int protocol = 0;
        socklen_t size = sizeof protocol;
        if (getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_PROTOCOL, &protocol, &size) != 0 ||
            protocol != IPPROTO_TCP)
            continue;
        const int on = 1;
        if (setsockopt(static_cast<int>(fd), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0)
            ++changed;
    }
    closedir(folder);
    return changed;
#else
    return 0;
#endif
}

}  // namespace platform
