// Feeds a note kept beside a partial download to its reader: a note it accepts is exactly
// what writing that note gives, and its digest, when there is one, reads back the same.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "download/Digest.h"
#include "download/PartialFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto note = download::PartialNote::parse(text);
    if (!note) return 0;
    if (note->format() != text || download::PartialNote::parse(note->format()) != note)
        std::abort();
    if (note->validator.isEmpty() || note->total < -1 || note->synced < 0 ||
        (note->total >= 0 && note->synced > note->total))
        std::abort();
    if (const auto digest = download::ExpectedDigest::fromText(note->digest))
        if (digest->toText() != note->digest) std::abort();
    return 0;
}
