#include "download/Digest.h"

#include <QIODevice>
#include <QList>
#include <iterator>

#ifdef CORVALITE_LIBCRYPTO_HASH
#include <openssl/evp.h>
#elif defined(_WIN32)
#include <windows.h>
// windows.h first: the CNG header needs its types.
#include <bcrypt.h>
#endif

namespace download {

namespace {

struct Known {
    const char* name;
    QCryptographicHash::Algorithm algorithm;
    int bytes;
};
// Strongest first.
constexpr Known kKnown[] = {{"sha-512", QCryptographicHash::Sha512, 64},
                            {"sha-256", QCryptographicHash::Sha256, 32}};

const Known* known(const QByteArray& name) {
    for (const Known& entry : kKnown)
        if (name.compare(entry.name, Qt::CaseInsensitive) == 0) return &entry;
    return nullptr;
}

std::optional<ExpectedDigest> make(const Known& algorithm, const QByteArray& base64) {
    const auto decoded =
        QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != algorithm.bytes) return std::nullopt;
    return ExpectedDigest{algorithm.algorithm, decoded.decoded};
}

// Members of "name=value, name=value"; structured fields wrap the value in colons and may
// add ";parameters", the older header writes it bare. Unknown algorithms are passed over;
// a known one with a malformed value, or two values of one algorithm that differ, make the
// whole header untrustworthy.
DigestFields strongest(const QByteArray& header, bool structured) {
    DigestFields fields;
    std::optional<ExpectedDigest> seen[std::size(kKnown)];
    for (const QByteArray& member : header.split(',')) {
        const qsizetype equals = member.indexOf('=');
        if (equals <= 0) continue;
        const Known* const algorithm = known(member.left(equals).trimmed());
        if (algorithm == nullptr) continue;
        QByteArray value = member.mid(equals + 1).trimmed();
        if (structured) {
            if (const qsizetype semicolon = value.indexOf(';'); semicolon >= 0)
                value = value.left(semicolon).trimmed();
            value = value.size() >= 2 && value.startsWith(':') && value.endsWith(':')
                        ? value.mid(1, value.size() - 2)
                        : QByteArray();
        }
        const auto digest = make(*algorithm, value);
        if (!digest) {
            fields.problem = QStringLiteral("a malformed %1 digest").arg(algorithm->name);
            return fields;
        }
        auto& slot = seen[algorithm - kKnown];
        if (slot && *slot != *digest) {
            fields.problem = QStringLiteral("two different %1 digests").arg(algorithm->name);
            return fields;
        }
        slot = digest;
    }
    for (const auto& digest : seen)  // strongest first
        if (digest) {
            fields.digest = digest;
            break;
        }
    return fields;
}

}  // namespace

QString ExpectedDigest::name() const {
    for (const Known& known : kKnown)
        if (known.algorithm == algorithm) return QString::fromLatin1(known.name);
    return {};
}

QString ExpectedDigest::toText() const {
    return name() + ':' + QString::fromLatin1(value.toBase64());
}

std::optional<ExpectedDigest> ExpectedDigest::fromText(const QString& text) {
    const qsizetype colon = text.indexOf(':');
    if (colon <= 0) return std::nullopt;
    const Known* const algorithm = known(text.left(colon).toLatin1());
    if (algorithm == nullptr) return std::nullopt;
    return make(*algorithm, text.mid(colon + 1).toLatin1());
}

DigestFields wholeFileDigest(const QByteArray& reprDigest, const QByteArray& contentDigest,
                             const QByteArray& legacyDigest, bool wholeBody) {
    DigestFields fields = strongest(reprDigest, true);
    if (fields.digest || !fields.problem.isEmpty()) return fields;
    if (wholeBody) {
        fields = strongest(contentDigest, true);
        if (fields.digest || !fields.problem.isEmpty()) return fields;
    }
    return strongest(legacyDigest, false);
}

#ifdef CORVALITE_LIBCRYPTO_HASH
struct RunningDigest::Hasher {
    explicit Hasher(QCryptographicHash::Algorithm algorithm) {
        EVP_DigestInit_ex(context.get(),
                          algorithm == QCryptographicHash::Sha512 ? EVP_sha512() : EVP_sha256(),
                          nullptr);
    }
    void add(const char* data, qint64 size) {
        EVP_DigestUpdate(context.get(), data, static_cast<std::size_t>(size));
    }
    QByteArray result() {
        QByteArray digest(EVP_MAX_MD_SIZE, '\0');
        unsigned int length = 0;
        EVP_DigestFinal_ex(context.get(), reinterpret_cast<unsigned char*>(digest.data()), &length);
        digest.resize(length);
        return digest;
    }
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context{EVP_MD_CTX_new(),
                                                                    &EVP_MD_CTX_free};
};
#elif defined(_WIN32)
// The system's own SHA through CNG, about three times faster than Qt's portable code. The
// algorithm providers are opened once per process; when CNG fails (it does not on any Windows
// we run on) the object says so through an empty result, which never matches.
struct RunningDigest::Hasher {
    explicit Hasher(QCryptographicHash::Algorithm algorithm) {
        const BCRYPT_ALG_HANDLE provider = Provider(algorithm);
        if (provider == nullptr ||
            !BCRYPT_SUCCESS(BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0)))
            hash = nullptr;
        DWORD length = 0, got = 0;
        if (hash != nullptr && BCRYPT_SUCCESS(BCryptGetProperty(provider, BCRYPT_HASH_LENGTH,
                                                                reinterpret_cast<PUCHAR>(&length),
                                                                sizeof length, &got, 0)))
            size = static_cast<int>(length);
    }
    ~Hasher() {
        if (hash != nullptr) BCryptDestroyHash(hash);
    }
    Hasher(const Hasher&) = delete;
    Hasher& operator=(const Hasher&) = delete;
    void add(const char* data, qint64 size) {
        // The call takes at most 4 GiB at once.
        while (hash != nullptr && size > 0 && !failed) {
            const ULONG part = static_cast<ULONG>(std::min<qint64>(size, 1 << 30));
            failed = !BCRYPT_SUCCESS(
                BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data)), part, 0));
            data += part;
            size -= part;
        }
    }
    QByteArray result() {
        if (hash == nullptr || failed || size <= 0) return {};
        QByteArray digest(size, '\0');
        if (!BCRYPT_SUCCESS(BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(digest.data()),
                                             static_cast<ULONG>(size), 0)))
            return {};
        return digest;
    }
    static BCRYPT_ALG_HANDLE Provider(QCryptographicHash::Algorithm algorithm) {
        static const BCRYPT_ALG_HANDLE sha256 = Open(BCRYPT_SHA256_ALGORITHM);
        static const BCRYPT_ALG_HANDLE sha512 = Open(BCRYPT_SHA512_ALGORITHM);
        return algorithm == QCryptographicHash::Sha512 ? sha512 : sha256;
    }
    static BCRYPT_ALG_HANDLE Open(const wchar_t* name) {
        BCRYPT_ALG_HANDLE provider = nullptr;
        return BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&provider, name, nullptr, 0)) ? provider
                                                                                        : nullptr;
    }
    BCRYPT_HASH_HANDLE hash = nullptr;
    int size = 0;
    bool failed = false;
};
#else
struct RunningDigest::Hasher {
    explicit Hasher(QCryptographicHash::Algorithm algorithm) : hash(algorithm) {}
    void add(const char* data, qint64 size) { hash.addData(QByteArrayView(data, size)); }
    QByteArray result() { return hash.result(); }
    QCryptographicHash hash;
};
#endif

RunningDigest::RunningDigest(const ExpectedDigest& expected)
    : expected_(expected), hasher_(std::make_unique<Hasher>(expected.algorithm)) {}

RunningDigest::~RunningDigest() = default;

void RunningDigest::add(const char* data, qint64 size) {
    hasher_->add(data, size);
    hashed_ += size;
}

bool RunningDigest::catchUp(QIODevice& file, qint64 end) {
    if (hashed_ >= end) return true;
    if (!file.seek(hashed_)) return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    while (hashed_ < end) {
        const qint64 got = file.read(block.data(), std::min<qint64>(block.size(), end - hashed_));
        if (got <= 0) return false;
        add(block.constData(), got);
    }
    return file.seek(end);
}

bool RunningDigest::matches() const {
    return hasher_->result() == expected_.value;
}

}  // namespace download
