#include "download/FileTransfer.h"

#include <QDateTime>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSslError>
#include <QStorageInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "download/HttpFields.h"
#include "download/ProxyLogins.h"
#include "download/RetryPolicy.h"
#include "platform/FileHolders.h"
#include "platform/Paths.h"
#include "platform/PlainFile.h"
#include "platform/Writeback.h"

namespace download {

QNetworkRequest engineRequest(const QUrl& url) {
    QNetworkRequest request(url);
    if (url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0)
        request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    return request;
}

namespace {

int httpStatus(const QNetworkReply& reply) {
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

QString describeHttpStatus(const QNetworkReply& reply) {
    // The server's words, shown in every retry notice and the failure message: a phrase of any
    // length must not swamp them (nor the window's line breaking).
    constexpr qsizetype kLongestReason = 200;
    QString reason =
        reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
    if (reason.size() > kLongestReason) {
        qsizetype keep = kLongestReason;
        if (reason[keep - 1].isHighSurrogate()) --keep;
        reason = reason.left(keep) + QChar(0x2026);
    }
    const QString status = QStringLiteral("HTTP %1").arg(httpStatus(reply));
    return reason.isEmpty() ? status : status + ' ' + reason;
}

QString describeNetworkError(const QNetworkReply& reply, const QString& tlsProblems,
                             int maxRedirects) {
    const QUrl url = reply.url();
    switch (reply.error()) {
        case QNetworkReply::HostNotFoundError:
            return FileTransfer::tr("host %1 not found").arg(url.host());
        case QNetworkReply::ConnectionRefusedError:
            return FileTransfer::tr("connection refused by %1").arg(url.authority());
        case QNetworkReply::RemoteHostClosedError:
            return FileTransfer::tr(
                "the server closed the connection before the file was "
                "complete");
        case QNetworkReply::TimeoutError:
            return FileTransfer::tr("timed out");
        case QNetworkReply::SslHandshakeFailedError:
            return FileTransfer::tr("TLS error: %1")
                .arg(tlsProblems.isEmpty() ? reply.errorString() : tlsProblems);
        case QNetworkReply::TooManyRedirectsError:
            return FileTransfer::tr("too many redirects (more than %1)").arg(maxRedirects);
        case QNetworkReply::InsecureRedirectError:
            return FileTransfer::tr("redirected from a secure to an insecure address");
        case QNetworkReply::ProxyAuthenticationRequiredError:
            return FileTransfer::tr("the proxy requires a user name and password");
        case QNetworkReply::ProxyConnectionRefusedError:
        case QNetworkReply::ProxyNotFoundError:
        case QNetworkReply::ProxyTimeoutError:
            return FileTransfer::tr("proxy error: %1").arg(reply.errorString());
        default:
            return reply.errorString();
    }
}

// Qt's save file does not always say why a write failed; errno right after the failed call,
// or the space left on the volume, tells a full disk apart.
bool diskIsFull(const QFileDevice& file, int error, const QStorageInfo& volume) {
    constexpr qint64 kNearlyFull = 1 << 20;
#ifdef EDQUOT
    const bool overQuota = error == EDQUOT;
#else
    const bool overQuota = false;  // Windows reports a quota as a full disk
#endif
    return error == ENOSPC || overQuota || file.error() == QFileDevice::ResourceError ||
           (volume.isValid() && volume.bytesAvailable() < kNearlyFull);
}

QString describeWriteError(const QFileDevice& file, int error) {
    const QStorageInfo volume(QFileInfo(file.fileName()).absolutePath());
    if (diskIsFull(file, error, volume))
        return FileTransfer::tr("the disk is full (%1)").arg(volume.rootPath());
    const QString why =
        error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : file.errorString();
    return FileTransfer::tr("cannot write %1: %2").arg(file.fileName(), why);
}

// A strong ETag, else a Last-Modified the server itself calls strong by sending a Date at
// least a minute later: what If-Range may name, and what binds parts into one file. Weak
// tags cannot vouch for bytes.
QString strongValidatorOf(const QNetworkReply& reply) {
    const QByteArray tag = reply.rawHeader("ETag").trimmed();
    if (!tag.isEmpty()) return tag.startsWith("W/") ? QString() : QString::fromLatin1(tag);
    const QByteArray modified = reply.rawHeader("Last-Modified").trimmed();
    const auto modifiedAt = parseHttpDate(modified);
    const auto sentAt = parseHttpDate(reply.rawHeader("Date").trimmed());
    if (!modifiedAt || !sentAt || modifiedAt->secsTo(*sentAt) < 60) return {};
    return QString::fromLatin1(modified);
}

FileTransfer::Retry retryForNetworkError(QNetworkReply::NetworkError error) {
    switch (error) {
        case QNetworkReply::RemoteHostClosedError:
        case QNetworkReply::TimeoutError:
        case QNetworkReply::TemporaryNetworkFailureError:
        case QNetworkReply::NetworkSessionFailedError:
        case QNetworkReply::UnknownNetworkError:
        case QNetworkReply::ProxyConnectionClosedError:
            return FileTransfer::Retry::Always;
        case QNetworkReply::ConnectionRefusedError:
            return FileTransfer::Retry::OnceStarted;
        default:
            return FileTransfer::Retry::Never;
    }
}

}  // namespace

FileTransfer::FileTransfer(QNetworkAccessManager& network, QUrl url, QString destination,
                           const RunLimits& limits, std::optional<RunningDigest>& digest,
                           QObject* parent)
    : QObject(parent),
      network_(network),
      url_(std::move(url)),
      destination_(std::move(destination)),
      partial_(destination_),
      digest_(digest),
      limits_(limits),
      clock_(clockOr(limits.clock)),
      // Nothing arrives while the person types a proxy login; that is no stall.
      stallTimer_(HeldWhileAsking(clock_.alarm(), network_)) {
    connect(stallTimer_.get(), &Alarm::fired, this, &FileTransfer::onStalled);
}

FileTransfer::~FileTransfer() {
    // A later try of the same file may own the partial file by now: only the reply goes.
    abortReply();
}

void FileTransfer::restartStallTimer() {
    stallTimer_->start(limits_.stallTimeout);
}

void FileTransfer::stopStallTimer() {
    stallTimer_->stop();
}

void FileTransfer::keepWaiting() {
    if (outcome_ == Outcome::Running && stallTimer_->isActive()) restartStallTimer();
}

// Up to 64 KiB (a catalogue list of a few thousand entries) a fresh fetch costs a few round
// trips at most, less than a resume note and the syncs on a slow disk.
bool FileTransfer::skipsDurability(qint64 size) const {
    constexpr qint64 kScratchLimit = 64 * 1024;
    return scratch_ && size >= 0 && size <= kScratchLimit;
}

void FileTransfer::start() {
    const QString scheme = url_.scheme().toLower();
    if (!url_.isValid() || (scheme != "http" && scheme != "https"))
        return fail(tr("not a web address: %1").arg(url_.toString()));
    const QString folder = QFileInfo(destination_).absolutePath();
    QString problem;
    bool heldElsewhere = false;
    if (!partial_.open(file_, problem, heldElsewhere))
        return fail(heldElsewhere ? tr("%1 is being downloaded by another window of this program")
                                        .arg(QFileInfo(destination_).fileName())
                                  : tr("cannot write to the folder %1 (%2)").arg(folder, problem));
    known_ = partial_.readNote();
    if (deliverKept()) return;
    // After a power cut the file may be longer than what reached the disk, its tail zeros or
    // stale blocks: only the synced length the note records is trusted, the rest is cut off.
    if (known_ && known_->url == url_ && known_->synced > 0 && file_.size() >= known_->synced &&
        file_.resize(known_->synced)) {
        validator_ = known_->validator;
        resumeFrom_ = known_->synced;
    } else {
        known_.reset();
        partial_.forget();
        if (!file_.resize(0)) return fail(describeWriteError(file_, errno));
    }
    if (!file_.seek(resumeFrom_)) return fail(describeWriteError(file_, errno));
    written_ = resumeFrom_;
    syncedTo_ = resumeFrom_;
    QNetworkRequest request = engineRequest(url_);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(limits_.maxRedirects);
    // Unencoded bodies keep the progress comparable with Content-Length.
    request.setRawHeader("Accept-Encoding", "identity");
    if (resumeFrom_ > 0) {
        // If the file changed, If-Range makes the server send all of the new one.
        request.setRawHeader("Range", "bytes=" + QByteArray::number(resumeFrom_) + '-');
        request.setRawHeader("If-Range", validator_.toLatin1());
    }
    reply_ = network_.get(request);
    reply_->setParent(this);
    connect(reply_, &QNetworkReply::metaDataChanged, this, &FileTransfer::onMetaData);
    // The handshakes are behind us: from here on bytes can flow.
    connect(reply_, &QNetworkReply::encrypted, this, &FileTransfer::flowing);
    connect(reply_, &QNetworkReply::readyRead, this, &FileTransfer::onReadyRead);
    connect(reply_, &QNetworkReply::finished, this, &FileTransfer::onFinished);
    connect(reply_, &QNetworkReply::sslErrors, this, [this](const QList<QSslError>& errors) {
        QStringList texts;
        for (const QSslError& error : errors) texts << error.errorString();
        tlsProblems_ = texts.join("; ");
    });
    restartStallTimer();
}

void FileTransfer::cancel() {
    if (outcome_ != Outcome::Running) return;
    outcome_ = Outcome::Cancelled;
    stop();
}

void FileTransfer::abortReply() {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
}

void FileTransfer::stop() {
    stopStallTimer();
    if (renameTimer_) renameTimer_->stop();
    abortReply();
    // What arrived is good for a later resume only once it is on the disk; should the sync
    // fail, the note still vouches for the shorter length synced before.
    if (!validator_.isEmpty() && file_.isOpen() && written_ > syncedTo_) recordSynced();
    // Only while the bytes are open (and so held) are they ours to remove: another copy's are
    // never touched, and ours go before the lock does, so no other copy has taken them yet.
    if (validator_.isEmpty() && file_.isOpen()) partial_.remove();
    file_.close();
}

bool FileTransfer::recordSynced() {
    if (!known_ || !file_.flush() || !platform::SyncToDisk(file_.handle())) return false;
    syncedTo_ = written_;
    known_->synced = written_;
    return partial_.writeNote(*known_);
}

// Only a whole file or a part of one is a file; 204, 205 and the other 2xx carry none.
bool FileTransfer::statusCarriesFile() const {
    const int status = reply_ ? httpStatus(*reply_) : 0;
    return status == 200 || status == 206;
}

void FileTransfer::onMetaData() {
    restartStallTimer();
    emit flowing();
    if (!statusCarriesFile() || metaSeen_) return;
    metaSeen_ = true;
    if (!acceptAnswer()) return;
    emit progressed(written_, expected_);
}

// Decides, from the final answer's headers, whether the bytes kept continue or start anew.
bool FileTransfer::acceptAnswer() {
    // Asked for identity only: encoded bytes saved as the file would be a different file.
    const QByteArray encoding = reply_->rawHeader("Content-Encoding").trimmed().toLower();
    if (!encoding.isEmpty() && encoding != "identity") {
        fail(tr("the server sent the file encoded (%1), which was not asked for")
                 .arg(QString::fromLatin1(encoding)));
        return false;
    }
    return httpStatus(*reply_) == 206 ? acceptPart() : acceptWhole();
}

// Why a 206 answer cannot be the rest of the bytes kept; empty when it can. Each cause is
// named, so the person (and whoever reads their report) sees which promise the server broke.
QString FileTransfer::misfitOfPart(const std::optional<ContentRange>& range,
                                   const std::optional<qint64>& length,
                                   const DigestFields& digest) const {
    if (!known_ || resumeFrom_ <= 0) return tr("it sent a part of the file that was not asked for");
    if (!range) return tr("it sent a part of the file without a readable range");
    if (range->first != resumeFrom_)
        return tr("it sent the part from byte %1, not from byte %2 where the download stopped")
            .arg(range->first)
            .arg(resumeFrom_);
    if (strongValidatorOf(*reply_) != validator_)
        return tr("the file changed on the server since the download began");
    if (reply_->url() != known_->finalUrl)
        return tr("the part came from another address than the beginning of the file");
    if (known_->total >= 0 && range->total >= 0 && range->total != known_->total)
        return tr("it now gives the file a size of %1 bytes instead of %2")
            .arg(range->total)
            .arg(known_->total);
    const qint64 total = range->total >= 0 ? range->total : known_->total;
    if (total >= 0 && range->last + 1 != total)
        return tr("the part ends at byte %1, before the end of the file").arg(range->last + 1);
    if (!length) return tr("it sent a length that cannot be read");
    if (*length >= 0 && *length != range->last - range->first + 1)
        return tr("the part's length does not match its range");
    if (!digest.problem.isEmpty()) return tr("it sent %1").arg(digest.problem);
    if (digest.digest && !known_->digest.isEmpty() && digest.digest->toText() != known_->digest)
        return tr("it now gives the file another digest than before");
    return {};
}

// The rest of the bytes kept: only from where the bytes kept came from, under the same
// validator, size and digest, and exactly the rest of the file.
bool FileTransfer::acceptPart() {
    const auto range = parseContentRange(reply_->rawHeader("Content-Range"));
    const auto length =
        parseContentLength(reply_->rawHeader("Content-Length"), reply_->url() != url_);
    const DigestFields digest =
        wholeFileDigest(reply_->rawHeader("Repr-Digest"), reply_->rawHeader("Content-Digest"),
                        reply_->rawHeader("Digest"), false);
    const QString misfit = misfitOfPart(range, length, digest);
    if (!misfit.isEmpty()) {
        dropBytes();
        fail(tr("the server's part of the file does not fit: %1").arg(misfit), Retry::Always);
        return false;
    }
    expected_ = range->last + 1;
    if (!roomFor(expected_ - resumeFrom_)) return false;
    // "bytes N-M/*" of a file whose size was never told: M is where this part ends, which
    // need not be the end of the file.
    sizeUntold_ = known_->total < 0 && range->total < 0;
    // A digest learned on the answer that began the file binds the parts that carry none.
    auto expected = digest.digest;
    if (!expected && !known_->digest.isEmpty()) expected = ExpectedDigest::fromText(known_->digest);
    if (known_->total < 0 || (expected && known_->digest.isEmpty())) {
        known_->total = expected_;
        if (expected) known_->digest = expected->toText();
        partial_.writeNote(*known_);
    }
    return startDigest(expected);
}

// A whole file: what was kept belongs to another version or a refused range.
bool FileTransfer::acceptWhole() {
    const auto length =
        parseContentLength(reply_->rawHeader("Content-Length"), reply_->url() != url_);
    if (!length) {
        fail(tr("the server sent a length that cannot be read"), Retry::Always);
        return false;
    }
    const DigestFields digest =
        wholeFileDigest(reply_->rawHeader("Repr-Digest"), reply_->rawHeader("Content-Digest"),
                        reply_->rawHeader("Digest"), true);
    if (!digest.problem.isEmpty()) {
        fail(tr("the server sent %1; the file cannot be checked").arg(digest.problem));
        return false;
    }
    resumeFrom_ = 0;
    written_ = 0;
    syncedTo_ = 0;
    writebackStart_ = 0;
    if (!file_.resize(0) || !file_.seek(0)) {
        failWrite(errno);
        return false;
    }
    expected_ = *length;
    if (!roomFor(expected_)) return false;
    sizeUntold_ = expected_ < 0;
    validator_ = strongValidatorOf(*reply_);
    known_ = PartialNote{url_, reply_->url(), validator_, expected_,
                         digest.digest ? digest.digest->toText() : QString()};
    if (validator_.isEmpty() || skipsDurability(expected_) || !partial_.writeNote(*known_)) {
        validator_.clear();
        known_.reset();
        partial_.forget();
    }
    return startDigest(digest.digest);
}

bool FileTransfer::startDigest(const std::optional<ExpectedDigest>& expected) {
    if (!expected) {
        digest_.reset();
        return true;
    }
    // An earlier try of this run hashed the bytes kept; only bytes kept from an earlier
    // run are read again.
    if (!digest_ || digest_->expected() != *expected || digest_->hashedBytes() > written_)
        digest_.emplace(*expected);
    if (!digest_->catchUp(file_, written_))
        fail(tr("cannot read %1: %2").arg(file_.fileName(), file_.errorString()));
    return outcome_ == Outcome::Running;
}

void FileTransfer::onReadyRead() {
    restartStallTimer();
    // Through one reused buffer: a fresh block for every piece costs more than the copy.
    if (buffer_.isEmpty()) buffer_.resize(kReadBufferBytes);
    const qint64 before = written_;
    qint64 got = 0;
    while ((got = reply_->read(buffer_.data(), buffer_.size())) > 0) {
        // Error pages and redirect bodies never reach the file.
        if (!statusCarriesFile()) continue;
        if (expected_ >= 0 && written_ + got > expected_) {
            dropBytes();
            return fail(tr("the server sent more than the announced %1 bytes").arg(expected_));
        }
        errno = 0;
        if (file_.write(buffer_.constData(), got) != got) return failWrite(errno);
        if (digest_) digest_->add(buffer_.constData(), got);
        written_ += got;
        received_ += got;
        // Inside the loop: one burst may hold many stretches, and a kill in its middle must
        // find the stretches before it on the disk.
        if (!validator_.isEmpty() && written_ - syncedTo_ >= limits_.syncStretch) {
            errno = 0;
            if (!recordSynced()) return failWrite(errno);
            writebackStart_ = written_;
        }
    }
    startWriteback();
    // Qt's own downloadProgress stays silent for small pieces, so count here.
    if (written_ != before) emit progressed(written_, expected_);
}

void FileTransfer::startWriteback() {
    // The final sync then finds little left; handing the disk each finished stretch now lets
    // that overlap the transfer instead of stalling at its end.
    constexpr qint64 kStretch = 8 * 1024 * 1024;
    if (written_ - writebackStart_ < kStretch || !file_.flush()) return;
    platform::StartWriteback(file_.handle(), writebackStart_, written_ - writebackStart_);
    writebackStart_ = written_;
}

void FileTransfer::onStalled() {
    fail(tr("timed out: nothing arrived for %1 s")
             .arg(std::chrono::duration<double>(limits_.stallTimeout).count()),
         Retry::Always);
}

void FileTransfer::failTooSlow(const QString& why) {
    fail(why, Retry::Always);
}

void FileTransfer::onFinished() {
    if (outcome_ != Outcome::Running) return;
    stopStallTimer();
    if (reply_->error() != QNetworkReply::NoError) {
        // What arrived before the cut is good for a resume.
        if (metaSeen_ && statusCarriesFile()) onReadyRead();
        if (outcome_ == Outcome::Running) failFromReply();
        return;
    }
    if (!statusCarriesFile()) return fail(describeHttpStatus(*reply_));
    // Where neither a length nor a digest is known, a chunked body cut before its last
    // chunk cannot be told from a whole one when Qt reports the cut as a clean end; Qt
    // reports most such cuts as RemoteHostClosedError, which is retried like any cut.
    onReadyRead();
    if (outcome_ != Outcome::Running) return;
    if (expected_ >= 0 && written_ != expected_)
        return fail(tr("the server sent %1 of the announced %2 bytes").arg(written_).arg(expected_),
                    Retry::Always);
    deliver();
}

void FileTransfer::failFromReply() {
    const int status = httpStatus(*reply_);
    if (status == 416) {
        // The bytes kept are no use to this server; the next try starts from zero.
        dropBytes();
        return fail(describeHttpStatus(*reply_), Retry::Always);
    }
    // A proxy's 407 is better told in words than as a status.
    if (status >= 400 && status != 407) {
        retryAfter_ = parseRetryAfter(reply_->rawHeader("Retry-After"), clock_.utcNow());
        return fail(describeHttpStatus(*reply_),
                    isTransientStatus(status) ? Retry::Always : Retry::Never);
    }
    fail(describeNetworkError(*reply_, tlsProblems_, limits_.maxRedirects),
         retryForNetworkError(reply_->error()));
}

void FileTransfer::deliver() {
    const QString name = QFileInfo(destination_).fileName();
    if (digest_ && !digest_->matches()) {
        // Without a length, Qt may have reported a body cut before its last chunk as a clean
        // end: that is a cut, which another try may bring whole.
        const Retry retry = expected_ < 0 ? Retry::Always : Retry::Never;
        dropBytes();
        return fail(
            tr("damaged in transfer: %1 does not match the digest the server sent").arg(name),
            retry);
    }
    errno = 0;
    if (!file_.flush() || (!skipsDurability(written_) && !platform::SyncToDisk(file_.handle())))
        return failWrite(errno);
    // The rename hands on whatever the name holds now: it must still be the bytes written.
    if (!platform::StillNamesPlainFile(file_.handle(),
                                       partial_.dataPath().toUtf8().toStdString())) {
        dropBytes();
        return fail(tr("%1 was replaced during the download").arg(partial_.dataPath()),
                    Retry::Always);
    }
    renameTries_ = 0;
    putInPlace();
}

// Renamed while still held: another copy waiting for the name then finds the name gone, never
// the delivered file under it.
void FileTransfer::putInPlace() {
    if (outcome_ != Outcome::Running) return;
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(partial_.dataPath().toStdU16String()),
                            std::filesystem::path(destination_.toStdU16String()), error);
    if (!error) {
        partial_.forget();
        file_.close();
        unproven_ = sizeUntold_ && !digest_;
        return finish(Outcome::Arrived);
    }
    // An old setup that is just ending, a scanner reading the new file: such holds pass in a
    // moment, so the rename is tried again a few times before the user is bothered.
    constexpr int kRenameTries = 4;
    constexpr std::chrono::milliseconds kRenamePause{250};
    stopStallTimer();
    if (++renameTries_ < kRenameTries) {
        if (!renameTimer_) {
            renameTimer_ = clock_.alarm();
            connect(renameTimer_.get(), &Alarm::fired, this, &FileTransfer::putInPlace);
        }
        renameTimer_->start(kRenamePause);
        return;
    }
    QString why =
        tr("cannot put %1 in place: %2").arg(destination_, QString::fromLocal8Bit(error.message()));
    std::vector<std::string> holders = platform::ProgramsHolding(destination_.toStdString());
    for (const std::string& holder : platform::ProgramsHolding(partial_.dataPath().toStdString()))
        if (std::find(holders.begin(), holders.end(), holder) == holders.end())
            holders.push_back(holder);
    if (!holders.empty())
        why += tr(" (in use by %1)").arg(QString::fromStdString(platform::ListOfNames(holders)));
    // The bytes are whole and checked: a note whose synced length is the whole size lets the
    // next try put them in place without fetching them again.
    if (known_ && !validator_.isEmpty()) {
        known_->synced = written_;
        if (partial_.writeNote(*known_))
            why += tr("; the whole download is kept and the next try puts it in place");
        else
            dropBytes();
    }
    fail(why);
}

// A try whose rename failed left the whole file synced, its note saying so. It is put in place
// without a request once its length and its digest still hold; otherwise it starts over.
bool FileTransfer::deliverKept() {
    if (!known_ || known_->url != url_ || known_->total <= 0 || known_->synced != known_->total ||
        file_.size() < known_->total || !file_.resize(known_->total))
        return false;
    std::optional<ExpectedDigest> expected;
    if (!known_->digest.isEmpty()) expected = ExpectedDigest::fromText(known_->digest);
    written_ = syncedTo_ = expected_ = known_->total;
    // Hashed afresh from the disk: a digest can be finished once only, and an earlier try's
    // was finished when it checked these bytes.
    if (expected) digest_.emplace(*expected);
    const bool whole = !expected || (digest_->catchUp(file_, written_) && digest_->matches());
    digest_.reset();
    if (!whole) {
        written_ = syncedTo_ = 0;
        expected_ = -1;
        known_.reset();
        return false;
    }
    validator_ = known_->validator;
    emit progressed(written_, expected_);
    deliver();
    return true;
}

// A length announced beyond the free space would fill the disk and leave a partial that can
// never be finished: refused before a byte is written.
bool FileTransfer::roomFor(qint64 bytes) {
    if (bytes <= 0) return true;
    const QString folder = QFileInfo(destination_).absolutePath();
    std::error_code error;
    const auto space =
        std::filesystem::space(platform::PathFromUtf8(folder.toUtf8().toStdString()), error);
    if (error || space.available >= std::uintmax_t(bytes)) return true;
    constexpr qint64 kMegabyte = 1024 * 1024;
    dropBytes();
    fail(tr("not enough space in %1: the file needs %2 MB, %3 MB are free")
             .arg(folder)
             .arg((bytes + kMegabyte - 1) / kMegabyte)
             .arg(qint64(space.available / kMegabyte)));
    return false;
}

void FileTransfer::failWrite(int error) {
    const QStorageInfo volume(QFileInfo(file_.fileName()).absolutePath());
    const QString why = describeWriteError(file_, error);
    if (diskIsFull(file_, error, volume)) dropBytes();
    fail(why);
}

void FileTransfer::dropBytes() {
    validator_.clear();
    digest_.reset();
    if (file_.isOpen()) partial_.remove();
    file_.close();
}

void FileTransfer::fail(const QString& why, Retry retry) {
    if (outcome_ != Outcome::Running) return;
    failure_ = why;
    retry_ = retry;
    stop();
    finish(Outcome::Failed);
}

void FileTransfer::finish(Outcome outcome) {
    outcome_ = outcome;
    QMetaObject::invokeMethod(
        this, [this] { emit ended(); }, Qt::QueuedConnection);
}

}  // namespace download
