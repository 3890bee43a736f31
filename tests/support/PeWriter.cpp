#include "support/PeWriter.h"

#include <fstream>
#include <stdexcept>
#include <string_view>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kTextRva = 0x1000;
constexpr std::uint32_t kResourceRva = 0x2000;
constexpr std::uint32_t kPeOffset = 0x80;
constexpr std::uint32_t kHighBit = 0x80000000u;

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}
void Put64(Bytes& b, std::size_t at, std::uint64_t v) {
    Put32(b, at, static_cast<std::uint32_t>(v));
    Put32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}
void Align(Bytes& b, std::size_t alignment) {
    b.resize((b.size() + alignment - 1) / alignment * alignment);
}
std::uint32_t AlignUp(std::size_t v, std::uint32_t alignment) {
    return static_cast<std::uint32_t>((v + alignment - 1) / alignment * alignment);
}

void AppendUtf16(Bytes& b, std::string_view text) {
    for (const char c : text) {
        b.push_back(static_cast<std::uint8_t>(c));
        b.push_back(0);
    }
    b.push_back(0);
    b.push_back(0);
}

// One node of a version record: header, key, value, children, each on 4-byte boundaries.
Bytes VersionNode(std::string_view key, const Bytes& value, std::uint16_t valueLength, bool text,
                  const std::vector<Bytes>& children) {
    Bytes b(6);
    AppendUtf16(b, key);
    Align(b, 4);
    b.insert(b.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        Align(b, 4);
        b.insert(b.end(), child.begin(), child.end());
    }
    Put16(b, 0, static_cast<std::uint32_t>(b.size()));
    Put16(b, 2, valueLength);
    Put16(b, 4, text ? 1 : 0);
    return b;
}

Bytes FixedFileInfo(const PeOptions& o) {
    Bytes b;
    const auto& f = o.fileVersion;
    const auto& p = o.productVersion;
    Put32(b, 0, o.flaw == PeFlaw::kWrongSignature ? 0xFEEF04BC : 0xFEEF04BD);
    Put32(b, 4, 0x00010000);
    Put32(b, 8, static_cast<std::uint32_t>(f.major) << 16 | f.minor);
    Put32(b, 12, static_cast<std::uint32_t>(f.release) << 16 | f.build);
    Put32(b, 16, static_cast<std::uint32_t>(p.major) << 16 | p.minor);
    Put32(b, 20, static_cast<std::uint32_t>(p.release) << 16 | p.build);
    Put32(b, 24, 0x3F);
    Put32(b, 28, 0);
    Put32(b, 32, 0x00040004);  // VOS_NT_WINDOWS32
    Put32(b, 36, 1);           // VFT_APP
    Put32(b, 40, 0);
    Put32(b, 44, 0);
    Put32(b, 48, 0);
    return b;
}

Bytes VersionRecord(const PeOptions& o) {
    std::vector<Bytes> children;
    if (!o.strings.empty()) {
        std::vector<Bytes> strings;
        for (const auto& [name, value] : o.strings) {
            Bytes text;
            AppendUtf16(text, value);
            strings.push_back(
                VersionNode(name, text, static_cast<std::uint16_t>(value.size() + 1), true, {}));
        }
        const Bytes table = VersionNode("040904B0", {}, 0, true, strings);
        children.push_back(VersionNode("StringFileInfo", {}, 0, true, {table}));
    }
    Bytes translation;
    Put16(translation, 0, 0x0409);
    Put16(translation, 2, 0x04B0);
    const Bytes var = VersionNode("Translation", translation, 4, false, {});
    children.push_back(VersionNode("VarFileInfo", {}, 0, true, {var}));
    Bytes record = VersionNode("VS_VERSION_INFO", FixedFileInfo(o), 52, false, children);
    if (o.flaw == PeFlaw::kShortVersionInfo) {
        record.resize(20);
        Put16(record, 0, 20);
    }
    return record;
}

void PutDirectory(Bytes& b, std::size_t at, std::uint32_t name, std::uint32_t target) {
    Put16(b, at + 12, (name & kHighBit) ? 1 : 0);  // named entries come first
    Put16(b, at + 14, (name & kHighBit) ? 0 : 1);
    Put32(b, at + 16, name);
    Put32(b, at + 20, target);
}

// Type directory with RT_RCDATA and RT_VERSION, each with one name and one language.
Bytes ResourceSection(const PeOptions& o) {
    const Bytes record = VersionRecord(o);
    Bytes b(0x20);
    Put16(b, 14, 2);
    Put32(b, 16, 10);  // RT_RCDATA
    Put32(b, 20, kHighBit | 0x20);
    Put32(b, 24, o.flaw == PeFlaw::kNoVersionResource ? 11 : 16);
    Put32(b, 28, kHighBit | 0x50);
    PutDirectory(b, 0x20, 1, kHighBit | 0x38);
    PutDirectory(b, 0x38, 0x409, 0x80);
    const std::uint32_t versionName = o.namedVersionResource ? kHighBit | 0xA0 : 1;
    PutDirectory(b, 0x50, versionName, kHighBit | (o.flaw == PeFlaw::kResourceLoop ? 0 : 0x68));
    PutDirectory(b, 0x68, 0x409, o.flaw == PeFlaw::kDeepNesting ? kHighBit | 0x0 : 0x90);
    // Data entries: the RCDATA bytes and the version record.
    Put32(b, 0x80, kResourceRva + 0xB0);
    Put32(b, 0x84, 16);
    std::uint32_t versionRva = kResourceRva + 0xC0;
    std::uint32_t versionSize = static_cast<std::uint32_t>(record.size());
    if (o.flaw == PeFlaw::kRvaOutsideSections) versionRva = 0x00700000;
    if (o.flaw == PeFlaw::kOverflowingSize) versionSize = 0xFFFFFF00;
    Put32(b, 0x90, versionRva);
    Put32(b, 0x94, versionSize);
    Put16(b, 0xA0, 7);  // counted UTF-16 name "VERSION"
    for (std::size_t i = 0; i < 7; ++i)
        Put16(b, 0xA2 + 2 * i, static_cast<std::uint8_t>("VERSION"[i]));
    Put32(b, 0xB0, 0x12345678);
    b.resize(0xC0);
    b.insert(b.end(), record.begin(), record.end());
    if (o.flaw == PeFlaw::kDeepNesting) {
        // Forty directories, each the only entry of the one before; the last names the data.
        Align(b, 4);
        const std::size_t first = b.size();
        constexpr std::size_t kLevels = 40;
        for (std::size_t level = 0; level < kLevels; ++level) {
            const std::size_t at = first + level * 24;
            const bool last = level + 1 == kLevels;
            PutDirectory(b, at, 0x409,
                         last ? 0x90 : kHighBit | static_cast<std::uint32_t>(at + 24));
        }
        Put32(b, 0x68 + 20, kHighBit | static_cast<std::uint32_t>(first));
    }
    return b;
}

void PutSection(Bytes& b, std::size_t at, std::string_view name, std::uint32_t virtualSize,
                std::uint32_t rva, std::uint32_t rawSize, std::uint32_t rawPointer,
                std::uint32_t characteristics) {
    for (std::size_t i = 0; i < name.size() && i < 8; ++i)
        b[at + i] = static_cast<std::uint8_t>(name[i]);
    Put32(b, at + 8, virtualSize);
    Put32(b, at + 12, rva);
    Put32(b, at + 16, rawSize);
    Put32(b, at + 20, rawPointer);
    Put32(b, at + 36, characteristics);
}

void PutOptionalHeader(Bytes& b, std::size_t at, const PeOptions& o, std::uint32_t imageSize,
                       std::uint32_t resourceSize) {
    Put16(b, at, o.pe32Plus ? 0x20B : 0x10B);
    Put32(b, at + 4, kFileAlignment);  // SizeOfCode
    Put32(b, at + 16, kTextRva);       // entry point
    Put32(b, at + 20, kTextRva);
    if (o.pe32Plus)
        Put64(b, at + 24, 0x140000000ull);
    else
        Put32(b, at + 28, 0x400000);
    Put32(b, at + 32, kSectionAlignment);
    Put32(b, at + 36, kFileAlignment);
    Put16(b, at + 40, 6);
    Put16(b, at + 48, 6);
    Put32(b, at + 56, imageSize);
    Put32(b, at + 60, kFileAlignment);  // SizeOfHeaders
    Put16(b, at + 68, 2);               // GUI subsystem
    const std::size_t countAt = at + (o.pe32Plus ? 108 : 92);
    const std::uint32_t directories = o.flaw == PeFlaw::kNoResourceDirectory ? 2 : 16;
    Put32(b, countAt, directories);
    Put32(b, countAt + 4 + 2 * 8, kResourceRva);
    Put32(b, countAt + 4 + 2 * 8 + 4, resourceSize);
}

}  // namespace

std::vector<std::uint8_t> BuildPeImage(const PeOptions& options) {
    const Bytes resources = ResourceSection(options);
    const std::uint32_t optionalSize = options.pe32Plus ? 240 : 224;
    const std::uint32_t resourceRaw = AlignUp(resources.size(), kFileAlignment);
    const std::uint32_t imageSize = kResourceRva + AlignUp(resources.size(), kSectionAlignment);
    Bytes b(kFileAlignment);
    Put16(b, 0, 0x5A4D);  // "MZ"
    Put32(b, 0x3C, kPeOffset);
    Put32(b, kPeOffset, 0x00004550);  // "PE\0\0"
    const std::size_t coff = kPeOffset + 4;
    Put16(b, coff, options.pe32Plus ? 0x8664 : 0x14C);
    Put16(b, coff + 2, 2);
    Put16(b, coff + 16, optionalSize);
    Put16(b, coff + 18, options.pe32Plus ? 0x0022 : 0x0102);
    PutOptionalHeader(b, coff + 20, options, imageSize,
                      static_cast<std::uint32_t>(resources.size()));
    const std::size_t sections = coff + 20 + optionalSize;
    PutSection(b, sections, ".text", 1, kTextRva, kFileAlignment, kFileAlignment, 0x60000020);
    PutSection(b, sections + 40, ".rsrc", static_cast<std::uint32_t>(resources.size()),
               kResourceRva, resourceRaw, 2 * kFileAlignment, 0x40000040);
    b.resize(2 * kFileAlignment);
    b[kFileAlignment] = 0xC3;  // ret
    b.insert(b.end(), resources.begin(), resources.end());
    b.resize(2 * kFileAlignment + resourceRaw);
    return b;
}

void WritePeFile(const std::string& path, const PeOptions& options) {
    const Bytes image = BuildPeImage(options);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write PE file " + path);
}
