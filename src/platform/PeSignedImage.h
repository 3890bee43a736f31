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
    // Bytes that neither the image hash nor the signature covers: after the certificate
    // table (it does not end the file), or in it beside the signature (another entry, bytes
    // after the signature's DER in its entry, padding that is not zero). Bytes between the
    // last section and the table are hashed, as Windows and signtool do.
    bool dataOutsideImage = false;
    std::string malformed;  // empty when the layout is sound; else what is wrong
    // The bytes the image hash covers, in file order.
    std::vector<ByteRange> hashed;
    // The first WIN_CERTIFICATE of type PKCS_SIGNED_DATA (revision 2.0): its DER SEQUENCE,
    // exactly as long as its own length says, without the entry's zero padding.
    std::vector<std::uint8_t> signedData;
};

// `read(offset, size, out)` fills `out` with exactly `size` bytes at `offset`, false when it
// cannot. `fileSize` is the whole file's length.
using ReadAt = std::function<bool(std::uint64_t offset, std::size_t size, std::uint8_t* out)>;
PeSignedImage ReadPeSignedImage(const ReadAt& read, std::uint64_t fileSize);

}  // namespace platform
