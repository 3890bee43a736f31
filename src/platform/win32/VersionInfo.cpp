#include "platform/VersionInfo.h"

#include <windows.h>
// The service's functions carry the system's names; call the 8-bit ones explicitly.
#undef GetFileVersionInfoSize
#undef GetFileVersionInfo
#undef VerQueryValue

namespace platform {

std::uint32_t GetFileVersionInfoSize(const std::string& fileName, std::uint32_t* handle) {
    DWORD zero = 0;
    const DWORD size = GetFileVersionInfoSizeA(fileName.c_str(), &zero);
    if (handle) *handle = zero;
    return size;
}

bool GetFileVersionInfo(const std::string& fileName, std::uint32_t handle, std::uint32_t size,
                        void* data) {
    if (data == nullptr || size == 0) return false;
    return GetFileVersionInfoA(fileName.c_str(), handle, size, data) != 0;
}

// The system walks the record; we only make sure what it points at lies inside the block
// we were given, so a damaged record can never send the caller outside it.
bool VerQueryValue(const void* block, std::size_t blockSize, std::string_view subBlock,
                   const void** buffer, std::uint32_t* length) {
    if (block == nullptr || buffer == nullptr) return false;
    const std::string name(subBlock);
    void* found = nullptr;
    UINT foundLength = 0;
    if (!VerQueryValueA(block, name.c_str(), &found, &foundLength) || found == nullptr)
        return false;
    const auto* begin = static_cast<const char*>(block);
    const auto* at = static_cast<const char*>(found);
    if (at < begin || at + foundLength > begin + blockSize) return false;
    if (name == "\\" && (foundLength < kVsFixedFileInfoSize ||
                         ReadFixedFileInfo(found).dwSignature != kVsFixedFileInfoSignature))
        return false;
    *buffer = found;
    if (length) *length = foundLength;
    return true;
}

}  // namespace platform
