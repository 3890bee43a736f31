// Feeds three digest header values (split at line feeds; a fourth line, when present, says
// the answer is a range) to the digest reader. Whatever it accepts must be a digest of the
// algorithm's size that survives the text kept beside a partial file.
#include <QByteArray>
#include <QList>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "download/Digest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QList<QByteArray> lines =
        QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('\n');
    const auto line = [&lines](qsizetype i) { return i < lines.size() ? lines[i] : QByteArray(); };
    const auto fields = download::wholeFileDigest(line(0), line(1), line(2), lines.size() < 4);
    if (fields.digest && !fields.problem.isEmpty()) std::abort();
    if (!fields.digest) return 0;
    const int bytes = fields.digest->algorithm == QCryptographicHash::Sha512 ? 64 : 32;
    if (fields.digest->value.size() != bytes) std::abort();
    if (download::ExpectedDigest::fromText(fields.digest->toText()) != fields.digest) std::abort();
    return 0;
}
