#pragma once
// Where a PE file keeps its Authenticode signature, and which of its bytes the signature's
// image hash covers: everything but the header checksum, the certificate table's directory
// entry and the table itself. Read from outside, so hostile: every offset is checked.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct ByteRange {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

struct PeSignedImage {
    bool isPe = false;          // an MZ header pointing at a PE32 or PE32+ optional header
    bool hasSignature = false;  // a certificate table with a PKCS#7 SignedData entry
    // The certificate table does not end the file, or bytes lie between the image and it,
    // that the image hash would not cover.
    bool dataOutsideImage = false;
    std::string malformed;  // empty when the layout is sound; else what is wrong
    // The bytes the image hash covers, in file order.
    std::vector<ByteRange> hashed;
    // The first WIN_CERTIFICATE of type PKCS_SIGNED_DATA: its DER bytes.
    std::vector<std::uint8_t> signedData;
};

// `read(offset, size, out)` fills `out` with exactly `size` bytes at `offset`, false when it
// cannot. `fileSize` is the whole file's length.
using ReadAt = std::function<bool(std::uint64_t offset, std::size_t size, std::uint8_t* out)>;
PeSignedImage ReadPeSignedImage(const ReadAt& read, std::uint64_t fileSize);

}  // namespace platform
