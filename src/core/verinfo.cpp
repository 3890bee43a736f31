#include "core/verinfo.h"

#include <vector>

#include "platform/VersionInfo.h"

bool TrsFileVersion::GetVersion(const std::string& fileName) {
    std::uint16_t major = 0, minor = 0, release = 0, build = 0;
    const bool ok = ReadVersionInfo(fileName, &major, &minor, &release, &build);
    if (!ok) {
        Clear();
        return false;
    }
    Major = major;
    Minor = minor;
    Release = release;
    Build = build;
    VersionText =
        std::to_string(Major) + "." + std::to_string(Minor) + "." + std::to_string(Release);
    return true;
}

void TrsFileVersion::Clear() {
    VersionText.clear();
    Major = Minor = Release = Build = 0;
}

bool TrsFileVersion::ReadVersionInfo(const std::string& fileName, std::uint16_t* major,
                                     std::uint16_t* minor, std::uint16_t* release,
                                     std::uint16_t* build) const {
    std::uint32_t handle = 0;
    const std::uint32_t size = platform::VersionRecordSize(fileName, &handle);
    if (size == 0) return false;
    std::vector<std::uint8_t> buffer(size);
    if (!platform::ReadVersionRecord(fileName, handle, size, buffer.data())) return false;
    const void* block = nullptr;
    std::uint32_t length = 0;
    // Our query checks the block's signature and length, so a forged record cannot make
    // us read past it.
    if (!platform::QueryVersionRecord(buffer.data(), buffer.size(), "\\", &block, &length) ||
        length < platform::kVsFixedFileInfoSize)
        return false;
    const platform::VsFixedFileInfo info = platform::ReadFixedFileInfo(block);
    if (major) *major = static_cast<std::uint16_t>(info.dwFileVersionMS >> 16);
    if (minor) *minor = static_cast<std::uint16_t>(info.dwFileVersionMS & 0xFFFF);
    if (release) *release = static_cast<std::uint16_t>(info.dwFileVersionLS >> 16);
    if (build) *build = static_cast<std::uint16_t>(info.dwFileVersionLS & 0xFFFF);
    return true;
}

std::string FullVersionText(const std::string& fileName) {
    TrsFileVersion reader;
    if (!reader.GetVersion(fileName)) return {};
    return std::to_string(reader.Major) + "." + std::to_string(reader.Minor) + "." +
           std::to_string(reader.Release) + "." + std::to_string(reader.Build);
}
