#pragma once
// The digest a server sends for the whole file, and its running check while bytes arrive.
#include <QByteArray>
#include <QCryptographicHash>
#include <QString>
#include <memory>
#include <optional>

class QIODevice;

namespace download {

struct ExpectedDigest {
    QCryptographicHash::Algorithm algorithm = QCryptographicHash::Sha256;
    QByteArray value;  // the raw digest bytes
    // "sha-256" or "sha-512"; also the text kept beside a partial file.
    QString name() const;
    QString toText() const;  // "sha-256:<base64>"
    static std::optional<ExpectedDigest> fromText(const QString& text);
    bool operator==(const ExpectedDigest&) const = default;
};

// What an answer's digest headers say about the whole file.
struct DigestFields {
    std::optional<ExpectedDigest> digest;
    // Set when the headers cannot be trusted: a malformed value of a known algorithm, or two
    // values of one algorithm that disagree. Such an answer must not deliver a file.
    QString problem;
};

// The whole file's digest from an answer's header values (empty when absent): Repr-Digest,
// else Content-Digest when the answer carries the whole file (for a range it covers only
// the range), else the older Digest. The strongest known algorithm wins; unknown ones are
// passed over.
DigestFields wholeFileDigest(const QByteArray& reprDigest, const QByteArray& contentDigest,
                             const QByteArray& legacyDigest, bool wholeBody);

// The hash of the bytes so far, fed as they are written.
class RunningDigest {
  public:
    explicit RunningDigest(const ExpectedDigest& expected);
    ~RunningDigest();
    RunningDigest(const RunningDigest&) = delete;
    RunningDigest& operator=(const RunningDigest&) = delete;
    const ExpectedDigest& expected() const { return expected_; }
    qint64 hashedBytes() const { return hashed_; }
    void add(const char* data, qint64 size);
    // Hashes `file` from hashedBytes() up to `end`; false when it could not be read.
    bool catchUp(QIODevice& file, qint64 end);
    // Once, when the last byte is in.
    bool matches() const;

  private:
    struct Hasher;
    ExpectedDigest expected_;
    std::unique_ptr<Hasher> hasher_;
    qint64 hashed_ = 0;
};

}  // namespace download
