#include "download/Digest.h"

#include <QIODevice>
#include <QList>

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

std::optional<ExpectedDigest> make(const QByteArray& name, const QByteArray& base64) {
    for (const Known& known : kKnown) {
        if (name.compare(known.name, Qt::CaseInsensitive) != 0) continue;
        const auto decoded =
            QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || decoded.decoded.size() != known.bytes) return std::nullopt;
        return ExpectedDigest{known.algorithm, decoded.decoded};
    }
    return std::nullopt;
}

// Members of "name=value, name=value"; structured fields wrap the value in colons and may
// add ";parameters", the older header writes it bare.
std::optional<ExpectedDigest> strongest(const QByteArray& header, bool structured) {
    std::optional<ExpectedDigest> best;
    int bestRank = 1 << 10;
    for (const QByteArray& member : header.split(',')) {
        const qsizetype equals = member.indexOf('=');
        if (equals <= 0) continue;
        const QByteArray name = member.left(equals).trimmed();
        QByteArray value = member.mid(equals + 1).trimmed();
        if (structured) {
            if (const qsizetype semicolon = value.indexOf(';'); semicolon >= 0)
                value = value.left(semicolon).trimmed();
            if (value.size() < 2 || !value.startsWith(':') || !value.endsWith(':')) continue;
            value = value.mid(1, value.size() - 2);
        }
        const auto digest = make(name, value);
        if (!digest) continue;
        const int rank = digest->algorithm == QCryptographicHash::Sha512 ? 0 : 1;
        if (rank < bestRank) {
            best = digest;
            bestRank = rank;
        }
    }
    return best;
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
    return make(text.left(colon).toLatin1(), text.mid(colon + 1).toLatin1());
}

std::optional<ExpectedDigest> wholeFileDigest(const QByteArray& reprDigest,
                                              const QByteArray& contentDigest,
                                              const QByteArray& legacyDigest, bool wholeBody) {
    if (auto digest = strongest(reprDigest, true)) return digest;
    if (wholeBody)
        if (auto digest = strongest(contentDigest, true)) return digest;
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
