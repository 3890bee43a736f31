#pragma once
// The Authenticode check behind CheckSignature, on any reader of the file's bytes, and its
// own DER reader of the SpcIndirectDataContent: the pieces the fuzzer feeds directly.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/PeSignedImage.h"
#include "platform/Signature.h"

namespace platform {

// What a signature says the image hash is.
struct SpcIndirectData {
    // Where the outer SEQUENCE's contents begin: the signer's messageDigest covers the bytes
    // from here to the end, without the SEQUENCE's own tag and length.
    std::size_t contentsAt = 0;
    std::vector<std::uint8_t> digestAlgorithm;  // the OID's content bytes
    std::vector<std::uint8_t> digest;
};

// Reads the DER of an SpcIndirectDataContent SEQUENCE (tag and length included), strictly:
// definite minimal lengths, no byte before or after, the data of a PE image
// (SPC_PE_IMAGE_DATAOBJ), a DigestInfo with a digest of 20 to 64 bytes. Nothing otherwise.
std::optional<SpcIndirectData> ReadSpcIndirectData(const std::uint8_t* der, std::size_t size);

// CheckSignature on a file of `fileSize` bytes read through `read`; the image hash reads it
// in blocks of kImageHashBlock bytes.
constexpr std::size_t kImageHashBlock = 1 << 20;
SignatureCheck CheckAuthenticode(const ReadAt& read, std::uint64_t fileSize);

}  // namespace platform
