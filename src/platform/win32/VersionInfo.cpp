#include "platform/VersionInfo.h"

#include <windows.h>

#include "platform/win32/Wide.h"

namespace platform {

std::uint32_t VersionRecordSize(const std::string& fileName, std::uint32_t* handle) {
    DWORD zero = 0;
    const DWORD size = GetFileVersionInfoSizeW(win32::Wide(fileName).c_str(), &zero);
    if (handle) *handle = zero;
    return size;
}

bool ReadVersionRecord(const std::string& fileName, std::uint32_t handle, std::uint32_t size,
                       void* data) {
    if (data == nullptr || size == 0) return false;
    return GetFileVersionInfoW(win32::Wide(fileName).c_str(), handle, size, data) != 0;
}

// The system walks the record; we only make sure what it points at lies inside the block
// we were given, so a damaged record can never send the caller outside it.
bool QueryVersionRecord(const void* block, std::size_t blockSize, std::string_view subBlock,
                        const void** buffer, std::uint32_t* length) {
    if (block == nullptr || buffer == nullptr) return false;
    const std::wstring name = win32::Wide(subBlock);
    void* found = nullptr;
    UINT foundLength = 0;
    if (!VerQueryValueW(block, name.c_str(), &found, &foundLength) || found == nullptr)
        return false;
    const auto* begin = static_cast<const char*>(block);
    const auto* at = static_cast<const char*>(found);
    if (at < begin || at + foundLength > begin + blockSize) return false;
    if (subBlock == "\\" && (foundLength < kVsFixedFileInfoSize ||
                             ReadFixedFileInfo(found).dwSignature != kVsFixedFileInfoSignature))
        return false;
    *buffer = found;
    if (length) *length = foundLength;
    return true;
}

}  // namespace platform
