// Shared by both backends: no call here but the reader handed in.
#include "platform/PeSignedImage.h"

#include <algorithm>
#include <array>

namespace platform {
namespace {

constexpr std::uint64_t kDosHeaderSize = 64;
constexpr std::uint64_t kCoffHeaderSize = 20;
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint64_t kChecksumAt = 64;  // in the optional header, PE32 and PE32+ alike
constexpr std::uint32_t kCertificateTableIndex = 4;
constexpr std::uint64_t kDirectoryEntrySize = 8;
constexpr std::uint64_t kWinCertificateHeader = 8;
constexpr std::uint32_t kWinCertRevision2 = 0x0200;
constexpr std::uint32_t kWinCertTypePkcsSignedData = 2;
// Real signatures, certificates and timestamps included, take a few KiB up to some hundred.
constexpr std::uint64_t kMaxSignedData = 4u << 20;

std::uint32_t Le16(const std::uint8_t* p) {
    return p[0] | p[1] << 8;
}
std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint64_t AlignUp8(std::uint64_t value) {
    return (value + 7) & ~std::uint64_t{7};
}

// The length of the DER element at the start of `bytes` (tag, length and contents), when it
// is one SEQUENCE of a definite length that fits; 0 otherwise.
std::uint64_t SequenceLength(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 2 || bytes[0] != 0x30) return 0;
    std::uint64_t length = bytes[1];
    std::uint64_t header = 2;
    if (length & 0x80) {
        const std::uint64_t count = length & 0x7F;
        if (count == 0 || count > 4 || bytes.size() < 2 + count) return 0;
        length = 0;
        for (std::uint64_t i = 0; i < count; ++i) length = length << 8 | bytes[2 + i];
        header += count;
    }
    return length <= bytes.size() - header ? header + length : 0;
}

class Reader {
  public:
    Reader(const ReadAt& read, std::uint64_t fileSize) : read_(read), fileSize_(fileSize) {}

    bool Read(std::uint64_t offset, std::uint64_t size, std::uint8_t* out) const {
        return offset <= fileSize_ && size <= fileSize_ - offset &&
               (size == 0 || read_(offset, static_cast<std::size_t>(size), out));
    }
    bool Fits(std::uint64_t offset, std::uint64_t size) const {
        return offset <= fileSize_ && size <= fileSize_ - offset;
    }
    std::uint64_t fileSize() const { return fileSize_; }

  private:
    const ReadAt& read_;
    std::uint64_t fileSize_;
};

bool AllZero(const std::uint8_t* p, std::size_t size) {
    return std::all_of(p, p + size, [](std::uint8_t b) { return b == 0; });
}

// The certificate table [begin, end) of a sound layout: its first PKCS#7 entry, and whether
// anything in it lies outside that entry (further entries, padding that is not zero).
void ReadCertificateTable(const Reader& reader, std::uint64_t begin, std::uint64_t end,
                          PeSignedImage& image) {
    std::uint64_t at = begin;
    while (at < end) {
        std::array<std::uint8_t, kWinCertificateHeader> header{};
        if (end - at < header.size() || !reader.Read(at, header.size(), header.data())) {
            image.malformed = "a certificate table entry is cut short";
            return;
        }
        const std::uint64_t length = Le32(header.data());
        const std::uint32_t revision = Le16(header.data() + 4);
        const std::uint32_t type = Le16(header.data() + 6);
        if (length < kWinCertificateHeader || length > end - at) {
            image.malformed = "a certificate table entry has a wrong length";
            return;
        }
        const std::uint64_t next = std::min(AlignUp8(at + length), end);
        if (type == kWinCertTypePkcsSignedData && !image.hasSignature) {
            if (revision != kWinCertRevision2) {
                image.malformed = "the signature's entry is not of revision 2.0";
                return;
            }
            const std::uint64_t size = length - kWinCertificateHeader;
            if (size > kMaxSignedData) {
                image.malformed = "the signature is too large";
                return;
            }
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
            if (!reader.Read(at + kWinCertificateHeader, size, bytes.data())) {
                image.malformed = "the signature cannot be read";
                return;
            }
            // The entry may round the DER up to 8 bytes with zeros; any other byte in it
            // would ride along unsigned.
            const std::uint64_t der = SequenceLength(bytes);
            if (der == 0) {
                image.malformed = "the signature is no DER SEQUENCE";
                return;
            }
            if (size - der >= 8 || !AllZero(bytes.data() + der, size - der))
                image.dataOutsideImage = true;
            bytes.resize(static_cast<std::size_t>(der));
            image.signedData = std::move(bytes);
            image.hasSignature = true;
        } else {
            // Another certificate, or a second signature beside the first: bytes that no
            // signature we check covers.
            image.dataOutsideImage = true;
        }
        const std::uint64_t padding = next - (at + length);
        std::array<std::uint8_t, 8> pad{};
        if (padding > 0) {
            if (!reader.Read(at + length, padding, pad.data())) {
                image.malformed = "the certificate table cannot be read";
                return;
            }
            if (!AllZero(pad.data(), static_cast<std::size_t>(padding)))
                image.dataOutsideImage = true;
        }
        at = next;
    }
}

}  // namespace

PeSignedImage ReadPeSignedImage(const ReadAt& read, std::uint64_t fileSize) {
    PeSignedImage image;
    const Reader reader(read, fileSize);
    std::array<std::uint8_t, kDosHeaderSize> dos{};
    if (!reader.Read(0, dos.size(), dos.data()) || Le16(dos.data()) != 0x5A4D) {
        image.malformed = "no MZ header";
        return image;
    }
    const std::uint64_t peAt = Le32(dos.data() + 0x3C);
    std::array<std::uint8_t, 4 + kCoffHeaderSize> coff{};
    if (!reader.Read(peAt, coff.size(), coff.data()) || Le32(coff.data()) != 0x00004550) {
        image.malformed = "no PE header";
        return image;
    }
    const std::uint32_t sectionCount = Le16(coff.data() + 4 + 2);
    const std::uint64_t optionalSize = Le16(coff.data() + 4 + 16);
    const std::uint64_t optionalAt = peAt + coff.size();
    std::vector<std::uint8_t> optional(static_cast<std::size_t>(optionalSize));
    if (optionalSize < 2 || !reader.Read(optionalAt, optionalSize, optional.data())) {
        image.malformed = "the optional header is cut short";
        return image;
    }
    const std::uint32_t magic = Le16(optional.data());
    std::uint64_t countAt = 0;
    if (magic == 0x10B)
        countAt = 92;
    else if (magic == 0x20B)
        countAt = 108;
    else {
        image.malformed = "neither a PE32 nor a PE32+ optional header";
        return image;
    }
    if (optionalSize < countAt + 4) {
        image.malformed = "the optional header is cut short";
        return image;
    }
    image.isPe = true;
    const std::uint64_t directoriesAt = countAt + 4;
    const std::uint64_t directoryCount = Le32(optional.data() + countAt);
    if (directoryCount > (optionalSize - directoriesAt) / kDirectoryEntrySize) {
        image.malformed = "the data directories do not fit the optional header";
        return image;
    }

    // The sections' raw data, which the image hash must cover whole.
    const std::uint64_t sectionsAt = optionalAt + optionalSize;
    const std::uint64_t tableSize = std::uint64_t{sectionCount} * kSectionHeaderSize;
    std::vector<std::uint8_t> sections(static_cast<std::size_t>(tableSize));
    if (!reader.Read(sectionsAt, tableSize, sections.data())) {
        image.malformed = "the section table is cut short";
        return image;
    }
    std::uint64_t imageEnd = sectionsAt + tableSize;
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const std::uint8_t* section = sections.data() + i * kSectionHeaderSize;
        const std::uint64_t rawSize = Le32(section + 16);
        const std::uint64_t rawAt = Le32(section + 20);
        if (rawSize == 0) continue;
        if (!reader.Fits(rawAt, rawSize)) {
            image.malformed = "a section lies beyond the end of the file";
            return image;
        }
        imageEnd = std::max(imageEnd, rawAt + rawSize);
    }

    const std::uint64_t checksumAt = optionalAt + kChecksumAt;
    std::uint64_t tableAt = 0;
    std::uint64_t tableLength = 0;
    if (directoryCount <= kCertificateTableIndex) {
        image.hashed = {{0, checksumAt}, {checksumAt + 4, fileSize - (checksumAt + 4)}};
        return image;
    }
    const std::uint64_t entryAt = directoriesAt + kCertificateTableIndex * kDirectoryEntrySize;
    tableAt = Le32(optional.data() + entryAt);
    tableLength = Le32(optional.data() + entryAt + 4);
    const std::uint64_t entryInFile = optionalAt + entryAt;
    if (tableAt == 0 && tableLength == 0) {
        image.hashed = {
            {0, checksumAt},
            {checksumAt + 4, entryInFile - (checksumAt + 4)},
            {entryInFile + kDirectoryEntrySize, fileSize - (entryInFile + kDirectoryEntrySize)}};
        return image;
    }
    if (tableAt == 0 || tableLength == 0 || !reader.Fits(tableAt, tableLength)) {
        image.malformed = "the certificate table lies outside the file";
        return image;
    }
    if (tableAt % 8 != 0) {
        image.malformed = "the certificate table is not aligned to 8 bytes";
        return image;
    }
    if (tableAt < imageEnd) {
        image.malformed = "the certificate table overlaps the headers or a section";
        return image;
    }
    image.hashed = {
        {0, checksumAt},
        {checksumAt + 4, entryInFile - (checksumAt + 4)},
        {entryInFile + kDirectoryEntrySize, tableAt - (entryInFile + kDirectoryEntrySize)}};
    if (tableAt + tableLength != fileSize) image.dataOutsideImage = true;
    ReadCertificateTable(reader, tableAt, tableAt + tableLength, image);
    if (!image.malformed.empty()) {
        image.hasSignature = false;
        image.signedData.clear();
    }
    return image;
}

}  // namespace platform
