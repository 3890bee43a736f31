#include "platform/FolderEnumeration.h"

namespace platform {

bool LeftOutBy(FindFilter filter, std::uint32_t attributes) {
    constexpr std::uint32_t kHiddenKinds =
        kFileAttributeHidden | kFileAttributeSystem | kFileAttributeVolumeLabel;
    return filter == FindFilter::kDirectories && (attributes & kHiddenKinds) != 0;
}

}  // namespace platform
