#include "platform/posix/PeVersionResource.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "platform/VersionInfo.h"

namespace platform {
namespace {

constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::size_t kMaxVersionRecord = 0xFFFF;  // wLength is a 16-bit count
constexpr std::size_t kResourceDirectoryHeader = 16;
constexpr std::size_t kResourceEntrySize = 8;
constexpr std::size_t kSectionHeaderSize = 40;

std::uint32_t Le16(const std::uint8_t* p) {
    return p[0] | p[1] << 8;
}
std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

struct Section {
    std::uint32_t virtualAddress = 0;
    std::uint32_t mappedSize = 0;  // bytes backed by the file
    std::uint32_t rawPointer = 0;
};

struct ResourceEntry {
    std::uint32_t name = 0;
    std::uint32_t target = 0;
};

class PeImage {
  public:
    explicit PeImage(const ByteSource& source) : source_(source) {}

    std::optional<std::vector<std::uint8_t>> VersionRecord() {
        if (!ReadHeaders()) return std::nullopt;
        const auto dataEntry = FindVersionDataEntry();
        if (!dataEntry) return std::nullopt;
        return ReadRecord(*dataEntry);
    }

  private:
    bool Read(std::uint64_t offset, void* out, std::size_t size) const {
        const std::uint64_t total = source_.Size();
        return offset <= total && size <= total - offset && source_.ReadAt(offset, out, size);
    }

    std::optional<std::uint32_t> ReadU32(std::uint64_t offset) const {
        std::array<std::uint8_t, 4> bytes{};
        if (!Read(offset, bytes.data(), bytes.size())) return std::nullopt;
        return Le32(bytes.data());
    }

    std::optional<std::uint32_t> ReadU16(std::uint64_t offset) const {
        std::array<std::uint8_t, 2> bytes{};
        if (!Read(offset, bytes.data(), bytes.size())) return std::nullopt;
        return Le16(bytes.data());
    }

    bool ReadHeaders();
    bool ReadSections(std::uint64_t offset, std::uint32_t count);
    std::optional<std::uint64_t> FileOffset(std::uint64_t rva, std::uint64_t length) const;
    std::optional<std::vector<ResourceEntry>> ReadDirectory(std::uint32_t offset);
    std::optional<std::uint32_t> Subdirectory(const ResourceEntry& entry);
    std::optional<std::uint32_t> FindVersionDataEntry();
    std::optional<std::vector<std::uint8_t>> ReadRecord(std::uint32_t dataEntryOffset) const;

    const ByteSource& source_;
    std::vector<Section> sections_;
    std::uint32_t resourceRva_ = 0;
    std::vector<std::uint32_t> visited_;
};

bool PeImage::ReadHeaders() {
    const auto magic = ReadU16(0);
    const auto peOffset = ReadU32(0x3C);
    if (!magic || *magic != 0x5A4D || !peOffset) return false;
    const auto signature = ReadU32(*peOffset);
    if (!signature || *signature != 0x00004550) return false;
    const std::uint64_t coff = std::uint64_t{*peOffset} + 4;
    const auto sectionCount = ReadU16(coff + 2);
    const auto optionalSize = ReadU16(coff + 16);
    const std::uint64_t optional = coff + 20;
    const auto optionalMagic = ReadU16(optional);
    if (!sectionCount || !optionalSize || !optionalMagic) return false;
    std::uint64_t directoryCountAt = 0;
    if (*optionalMagic == 0x10B)
        directoryCountAt = 92;
    else if (*optionalMagic == 0x20B)
        directoryCountAt = 108;
    else
        return false;
    const std::uint64_t resourceDirectoryAt = directoryCountAt + 4 + 2 * 8;
    const auto directoryCount = ReadU32(optional + directoryCountAt);
    if (!directoryCount || *directoryCount < 3 || *optionalSize < resourceDirectoryAt + 8)
        return false;
    const auto resourceRva = ReadU32(optional + resourceDirectoryAt);
    const auto resourceSize = ReadU32(optional + resourceDirectoryAt + 4);
    if (!resourceRva || !resourceSize || *resourceRva == 0 || *resourceSize == 0) return false;
    resourceRva_ = *resourceRva;
    return ReadSections(optional + *optionalSize, *sectionCount);
}

bool PeImage::ReadSections(std::uint64_t offset, std::uint32_t count) {
    std::vector<std::uint8_t> table(std::size_t{count} * kSectionHeaderSize);
    if (count == 0 || !Read(offset, table.data(), table.size())) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* header = table.data() + i * kSectionHeaderSize;
        const std::uint32_t virtualSize = Le32(header + 8);
        const std::uint32_t rawSize = Le32(header + 16);
        // Bytes past the virtual size are not mapped; bytes past the raw size are zeros
        // that the file does not hold.
        const std::uint32_t mapped = virtualSize == 0 ? rawSize : std::min(virtualSize, rawSize);
        sections_.push_back({Le32(header + 12), mapped, Le32(header + 20)});
    }
    return true;
}

std::optional<std::uint64_t> PeImage::FileOffset(std::uint64_t rva, std::uint64_t length) const {
    for (const Section& section : sections_) {
        const std::uint64_t begin = section.virtualAddress;
        const std::uint64_t end = begin + section.mappedSize;
        if (rva >= begin && rva + length <= end && rva < end)
            return std::uint64_t{section.rawPointer} + (rva - begin);
    }
    return std::nullopt;
}

std::optional<std::vector<ResourceEntry>> PeImage::ReadDirectory(std::uint32_t offset) {
    // A directory met twice means the tree loops back on itself.
    if (std::find(visited_.begin(), visited_.end(), offset) != visited_.end()) return std::nullopt;
    visited_.push_back(offset);
    const std::uint64_t rva = std::uint64_t{resourceRva_} + offset;
    const auto at = FileOffset(rva, kResourceDirectoryHeader);
    std::array<std::uint8_t, kResourceDirectoryHeader> header{};
    if (!at || !Read(*at, header.data(), header.size())) return std::nullopt;
    const std::size_t count = Le16(header.data() + 12) + Le16(header.data() + 14);
    const std::uint64_t tableRva = rva + kResourceDirectoryHeader;
    const auto tableAt = FileOffset(tableRva, count * kResourceEntrySize);
    std::vector<std::uint8_t> table(count * kResourceEntrySize);
    if (count == 0 || !tableAt || !Read(*tableAt, table.data(), table.size())) return std::nullopt;
    std::vector<ResourceEntry> entries(count);
    for (std::size_t i = 0; i < count; ++i)
        entries[i] = {Le32(table.data() + i * kResourceEntrySize),
                      Le32(table.data() + i * kResourceEntrySize + 4)};
    return entries;
}

std::optional<std::uint32_t> PeImage::Subdirectory(const ResourceEntry& entry) {
    if ((entry.target & kHighBit) == 0) return std::nullopt;
    return entry.target & ~kHighBit;
}

// Type RT_VERSION, then the first name, then the first language: a data entry. The walk
// has a fixed depth of three, so deep nesting simply fails to end in a data entry.
std::optional<std::uint32_t> PeImage::FindVersionDataEntry() {
    const auto types = ReadDirectory(0);
    if (!types) return std::nullopt;
    const auto version = std::find_if(types->begin(), types->end(),
                                      [](const ResourceEntry& e) { return e.name == kRtVersion; });
    if (version == types->end()) return std::nullopt;
    const auto namesAt = Subdirectory(*version);
    const auto names = namesAt ? ReadDirectory(*namesAt) : std::nullopt;
    if (!names) return std::nullopt;
    const auto languagesAt = Subdirectory(names->front());
    const auto languages = languagesAt ? ReadDirectory(*languagesAt) : std::nullopt;
    if (!languages || (languages->front().target & kHighBit) != 0) return std::nullopt;
    return languages->front().target;
}

std::optional<std::vector<std::uint8_t>> PeImage::ReadRecord(std::uint32_t dataEntryOffset) const {
    std::array<std::uint8_t, 16> entry{};
    const auto entryAt = FileOffset(std::uint64_t{resourceRva_} + dataEntryOffset, entry.size());
    if (!entryAt || !Read(*entryAt, entry.data(), entry.size())) return std::nullopt;
    const std::uint32_t dataRva = Le32(entry.data());
    const std::uint32_t dataSize = Le32(entry.data() + 4);
    // The whole resource must lie in the file, even though only its first block is read.
    const auto dataAt = FileOffset(dataRva, dataSize);
    if (!dataAt || dataSize < 6) return std::nullopt;
    const auto length = ReadU16(*dataAt);
    if (!length || *length > dataSize || *length > kMaxVersionRecord) return std::nullopt;
    std::vector<std::uint8_t> record(*length);
    if (!Read(*dataAt, record.data(), record.size())) return std::nullopt;
    if (!FixedFileInfoOffset(record.data(), record.size())) return std::nullopt;
    return record;
}

}  // namespace

bool MemorySource::ReadAt(std::uint64_t offset, void* out, std::size_t size) const {
    if (offset > size_ || size > size_ - offset) return false;
    if (size != 0) std::memcpy(out, data_ + offset, size);
    return true;
}

std::optional<std::vector<std::uint8_t>> ReadVersionResource(const ByteSource& image) {
    return PeImage(image).VersionRecord();
}

std::optional<std::size_t> FixedFileInfoOffset(const std::uint8_t* block, std::size_t size) {
    static constexpr std::u16string_view kKey = u"VS_VERSION_INFO";
    constexpr std::size_t kKeyAt = 6;
    if (block == nullptr || size < kKeyAt) return std::nullopt;
    const std::size_t length = Le16(block);
    const std::size_t valueLength = Le16(block + 2);
    if (length > size || length < kKeyAt) return std::nullopt;
    const std::size_t keyEnd = kKeyAt + (kKey.size() + 1) * 2;
    if (keyEnd > length) return std::nullopt;
    for (std::size_t i = 0; i <= kKey.size(); ++i) {
        const char16_t expected = i < kKey.size() ? kKey[i] : u'\0';
        if (Le16(block + kKeyAt + 2 * i) != expected) return std::nullopt;
    }
    const std::size_t valueAt = (keyEnd + 3) & ~std::size_t{3};
    if (valueLength < kVsFixedFileInfoSize || valueAt + kVsFixedFileInfoSize > length)
        return std::nullopt;
    if (Le32(block + valueAt) != kVsFixedFileInfoSignature) return std::nullopt;
    return valueAt;
}

}  // namespace platform
