#pragma once
// Version records of Windows executables, in the shape of the Windows version functions:
// ask for the record's size, fetch the record, then query its root block for the fixed
// file information.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

inline constexpr std::uint32_t kVsFixedFileInfoSignature = 0xFEEF04BD;

struct VsFixedFileInfo {
    std::uint32_t dwSignature = 0;
    std::uint32_t dwStrucVersion = 0;
    std::uint32_t dwFileVersionMS = 0;
    std::uint32_t dwFileVersionLS = 0;
    std::uint32_t dwProductVersionMS = 0;
    std::uint32_t dwProductVersionLS = 0;
    std::uint32_t dwFileFlagsMask = 0;
    std::uint32_t dwFileFlags = 0;
    std::uint32_t dwFileOS = 0;
    std::uint32_t dwFileType = 0;
    std::uint32_t dwFileSubtype = 0;
    std::uint32_t dwFileDateMS = 0;
    std::uint32_t dwFileDateLS = 0;
};
inline constexpr std::size_t kVsFixedFileInfoSize = 52;  // as stored, little-endian
static_assert(sizeof(VsFixedFileInfo) == kVsFixedFileInfoSize);

// The size of the file's version record, 0 when it has none (missing file, folder, FIFO,
// device, not a PE file, or any malformation). *handle is set to 0 when given.
std::uint32_t VersionRecordSize(const std::string& fileName, std::uint32_t* handle);

// Copies at most size bytes of the record into data; false when there is no record.
bool ReadVersionRecord(const std::string& fileName, std::uint32_t handle, std::uint32_t size,
                       void* data);

// Looks up subBlock in a record of blockSize bytes. Only the root block "\" is known: it
// yields the VS_FIXEDFILEINFO block (signature checked) and its length. The block may be
// unaligned; read it with ReadFixedFileInfo.
bool QueryVersionRecord(const void* block, std::size_t blockSize, std::string_view subBlock,
                        const void** buffer, std::uint32_t* length);

VsFixedFileInfo ReadFixedFileInfo(const void* buffer);

}  // namespace platform
