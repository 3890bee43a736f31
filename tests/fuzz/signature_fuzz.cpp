// Feeds arbitrary bytes as a whole file to the signed image's layout reader and the
// Authenticode check behind CheckSignature (PKCS#7, the SpcIndirectDataContent, the signer),
// and as a bare SpcIndirectDataContent to its DER reader.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/PeSignedImage.h"
#include "platform/posix/Authenticode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const platform::ReadAt read = [&](std::uint64_t offset, std::size_t length, std::uint8_t* out) {
        if (offset > size || length > size - offset) return false;
        if (length != 0) std::memcpy(out, data + offset, length);
        return true;
    };
    const platform::PeSignedImage image = platform::ReadPeSignedImage(read, size);
    // The hashed ranges lie in the file, in order, apart; a signature only in a sound PE.
    std::uint64_t end = 0;
    for (const platform::ByteRange& range : image.hashed) {
        if (range.offset < end || range.offset > size || range.size > size - range.offset)
            std::abort();
        end = range.offset + range.size;
    }
    if (image.hasSignature != !image.signedData.empty()) std::abort();
    if (image.hasSignature && (!image.isPe || !image.malformed.empty())) std::abort();

    const platform::SignatureCheck check = platform::CheckAuthenticode(read, size);
    if (check.valid() && (!image.hasSignature || image.dataOutsideImage)) std::abort();
    if (!check.signerKeySha256.empty() && check.signerKeySha256.size() != 64) std::abort();

    if (const auto spc = platform::ReadSpcIndirectData(data, size))
        if (spc->contentsAt > size || spc->digest.size() < 20 || spc->digest.size() > 64)
            std::abort();
    return 0;
}
