// Feeds a Content-Range and a Content-Length value (split at the first line feed) to their
// readers. A range they accept is never empty or inverted and never ends past its total; a
// length is never negative but for "absent".
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "download/HttpFields.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype cut = input.indexOf('\n');
    const QByteArray range = cut < 0 ? input : input.left(cut);
    const QByteArray length = cut < 0 ? QByteArray() : input.mid(cut + 1);
    if (const auto parsed = download::parseContentRange(range)) {
        if (parsed->first < 0 || parsed->last < parsed->first) std::abort();
        if (parsed->total != -1 && parsed->last >= parsed->total) std::abort();
    }
    for (const bool redirected : {false, true}) {
        const auto parsed = download::parseContentLength(length, redirected);
        if (parsed && *parsed < -1) std::abort();
        if (parsed && *parsed == -1 && !length.isNull()) std::abort();
    }
    if (const auto count = download::parseByteCount(range); count && *count < 0) std::abort();
    return 0;
}
