#include <cstring>

#include "platform/VersionInfo.h"

namespace platform {

// The record is little-endian and may sit at any address, whoever produced it.
VsFixedFileInfo ReadFixedFileInfo(const void* buffer) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::uint32_t words[kVsFixedFileInfoSize / 4];
    for (std::size_t i = 0; i < std::size(words); ++i) {
        const unsigned char* at = bytes + 4 * i;
        words[i] = std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
                   std::uint32_t{at[3]} << 24;
    }
    VsFixedFileInfo info;
    static_assert(sizeof info == sizeof words);
    std::memcpy(&info, words, sizeof info);
    return info;
}

}  // namespace platform
