#include "download/FileTransfer.h"

#include <QDateTime>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSslError>
#include <QStorageInfo>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "download/ProxyLogins.h"
#include "download/RetryPolicy.h"
#include "platform/Writeback.h"

namespace download {

namespace {

int httpStatus(const QNetworkReply& reply) {
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

QString describeHttpStatus(const QNetworkReply& reply) {
    const QString reason =
        reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
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
QString describeWriteError(const QFileDevice& file, int error) {
    constexpr qint64 kNearlyFull = 1 << 20;
    const QStorageInfo volume(QFileInfo(file.fileName()).absolutePath());
#ifdef EDQUOT
    const bool overQuota = error == EDQUOT;
#else
    const bool overQuota = false;  // Windows reports a quota as a full disk
#endif
    const bool full = error == ENOSPC || overQuota || file.error() == QFileDevice::ResourceError ||
                      (volume.isValid() && volume.bytesAvailable() < kNearlyFull);
    if (full) return FileTransfer::tr("the disk is full (%1)").arg(volume.rootPath());
    const QString why =
        error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : file.errorString();
    return FileTransfer::tr("cannot write %1: %2").arg(file.fileName(), why);
}

// A strong ETag, else Last-Modified: what If-Range may name. Weak tags cannot vouch for bytes.
QString validatorOf(const QNetworkReply& reply) {
    const QByteArray tag = reply.rawHeader("ETag").trimmed();
    if (!tag.isEmpty() && !tag.startsWith("W/")) return QString::fromLatin1(tag);
    return QString::fromLatin1(reply.rawHeader("Last-Modified").trimmed());
}

// "bytes 100-199/200": the first byte and the whole size (-1 when "*").
bool parseContentRange(const QByteArray& header, qint64& first, qint64& total) {
    const QByteArray text = header.trimmed();
    if (!text.startsWith("bytes ")) return false;
    const qsizetype dash = text.indexOf('-');
    const qsizetype slash = text.indexOf('/');
    if (dash < 0 || slash < dash) return false;
    bool ok = false;
    first = text.mid(6, dash - 6).trimmed().toLongLong(&ok);
    if (!ok) return false;
    const QByteArray size = text.mid(slash + 1).trimmed();
    total = size == "*" ? -1 : size.toLongLong(&ok);
    return ok;
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
                           std::chrono::milliseconds stallTimeout, int maxRedirects,
                           std::optional<RunningDigest>& digest, QObject* parent)
    : QObject(parent),
      network_(network),
      url_(std::move(url)),
      destination_(std::move(destination)),
      partial_(destination_),
      file_(partial_.dataPath()),
      digest_(digest),
      stallTimeout_(stallTimeout),
      maxRedirects_(maxRedirects) {
    stallTimer_.setSingleShot(true);
    connect(&stallTimer_, &QTimer::timeout, this, &FileTransfer::onStalled);
    // Nothing arrives while the person types a proxy login; that is no stall.
    HoldWhileAsking(stallTimer_, network_);
}

FileTransfer::~FileTransfer() {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
}

void FileTransfer::restartStallTimer() {
    stallTimer_.start(stallTimeout_);
}

void FileTransfer::stopStallTimer() {
    stallTimer_.stop();
}

void FileTransfer::keepWaiting() {
    if (outcome_ == Outcome::Running && stallTimer_.isActive()) restartStallTimer();
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
    resumeFrom_ = partial_.resumable(url_, validator_);
    if (!file_.open(QIODevice::ReadWrite) || !file_.seek(resumeFrom_)) {
        validator_.clear();
        const QString folder = QFileInfo(destination_).absolutePath();
        return fail(tr("cannot write to the folder %1 (%2)").arg(folder, file_.errorString()));
    }
    written_ = resumeFrom_;
    QNetworkRequest request(url_);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(maxRedirects_);
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
    connect(reply_, &QNetworkReply::readyRead, this, &FileTransfer::onReadyRead);
    connect(reply_, &QNetworkReply::finished, this, &FileTransfer::onFinished);
    // Qt's own count of the total is the one to trust after redirects.
    connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64, qint64 total) {
        if (total >= 0 && metaSeen_ && statusIsSuccess()) expected_ = resumeFrom_ + total;
    });
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
    stopStallTimer();
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
    file_.close();
    if (validator_.isEmpty()) partial_.remove();
}

bool FileTransfer::statusIsSuccess() const {
    const int status = reply_ ? httpStatus(*reply_) : 0;
    return status >= 200 && status < 300;
}

void FileTransfer::onMetaData() {
    restartStallTimer();
    if (!statusIsSuccess() || metaSeen_) return;
    metaSeen_ = true;
    if (!acceptAnswer()) return;
    emit progressed(written_, expected_);
}

// Decides, from the final answer's headers, whether the bytes kept continue or start anew.
bool FileTransfer::acceptAnswer() {
    const QVariant declared = reply_->header(QNetworkRequest::ContentLengthHeader);
    const qint64 bodyLength = declared.isValid() ? declared.toLongLong() : -1;
    if (httpStatus(*reply_) == 206) {
        qint64 first = -1;
        qint64 total = -1;
        const QString validator = validatorOf(*reply_);
        if (resumeFrom_ == 0 ||
            !parseContentRange(reply_->rawHeader("Content-Range"), first, total) ||
            first != resumeFrom_ || (!validator.isEmpty() && validator != validator_)) {
            dropBytes();
            fail(tr("the server sent a part of the file that does not fit"), Retry::Always);
            return false;
        }
        expected_ = total >= 0 ? total : (bodyLength >= 0 ? resumeFrom_ + bodyLength : -1);
        startDigest(false);
        return outcome_ == Outcome::Running;
    }
    // A whole file: what was kept belongs to another version or a refused range.
    resumeFrom_ = 0;
    written_ = 0;
    writebackStart_ = 0;
    if (!file_.resize(0) || !file_.seek(0)) {
        fail(describeWriteError(file_, errno));
        return false;
    }
    validator_ = validatorOf(*reply_);
    if (validator_.isEmpty() || skipsDurability(bodyLength) || !partial_.note(url_, validator_)) {
        validator_.clear();
        partial_.forget();
    }
    expected_ = bodyLength;
    startDigest(true);
    return outcome_ == Outcome::Running;
}

void FileTransfer::startDigest(bool wholeFile) {
    const auto expected =
        wholeFileDigest(reply_->rawHeader("Repr-Digest"), reply_->rawHeader("Content-Digest"),
                        reply_->rawHeader("Digest"), wholeFile);
    if (!expected) {
        digest_.reset();
        return;
    }
    // An earlier try of this run hashed the bytes kept; only bytes kept from an earlier
    // run are read again.
    if (!digest_ || digest_->expected() != *expected || digest_->hashedBytes() > written_)
        digest_.emplace(*expected);
    if (!digest_->catchUp(file_, written_))
        fail(tr("cannot read %1: %2").arg(file_.fileName(), file_.errorString()));
}

void FileTransfer::onReadyRead() {
    restartStallTimer();
    // Through one reused buffer: a fresh block for every piece costs more than the copy.
    if (buffer_.isEmpty()) buffer_.resize(kReadBufferBytes);
    const qint64 before = written_;
    qint64 got = 0;
    while ((got = reply_->read(buffer_.data(), buffer_.size())) > 0) {
        // Error pages and redirect bodies never reach the file.
        if (!statusIsSuccess()) continue;
        if (expected_ >= 0 && written_ + got > expected_) {
            dropBytes();
            return fail(tr("the server sent more than the announced %1 bytes").arg(expected_));
        }
        errno = 0;
        if (file_.write(buffer_.constData(), got) != got)
            return fail(describeWriteError(file_, errno));
        if (digest_) digest_->add(buffer_.constData(), got);
        written_ += got;
        received_ += got;
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
             .arg(std::chrono::duration<double>(stallTimeout_).count()),
         Retry::Always);
}

void FileTransfer::onFinished() {
    if (outcome_ != Outcome::Running) return;
    stopStallTimer();
    if (reply_->error() != QNetworkReply::NoError) {
        // What arrived before the cut is good for a resume.
        if (metaSeen_ && statusIsSuccess()) onReadyRead();
        if (outcome_ == Outcome::Running) failFromReply();
        return;
    }
    if (!statusIsSuccess()) return fail(describeHttpStatus(*reply_));
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
        retryAfter_ =
            parseRetryAfter(reply_->rawHeader("Retry-After"), QDateTime::currentDateTimeUtc());
        return fail(describeHttpStatus(*reply_),
                    isTransientStatus(status) ? Retry::Always : Retry::Never);
    }
    fail(describeNetworkError(*reply_, tlsProblems_, maxRedirects_),
         retryForNetworkError(reply_->error()));
}

void FileTransfer::deliver() {
    const QString name = QFileInfo(destination_).fileName();
    if (digest_ && !digest_->matches()) {
        dropBytes();
        return fail(
            tr("damaged in transfer: %1 does not match the digest the server sent").arg(name));
    }
    errno = 0;
    if (!file_.flush() || (!skipsDurability(written_) && !platform::SyncToDisk(file_.handle())))
        return fail(describeWriteError(file_, errno));
    file_.close();
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(partial_.dataPath().toStdU16String()),
                            std::filesystem::path(destination_.toStdU16String()), error);
    if (error) {
        dropBytes();
        return fail(
            tr("cannot write %1: %2").arg(destination_, QString::fromLocal8Bit(error.message())));
    }
    partial_.forget();
    finish(Outcome::Arrived);
}

void FileTransfer::dropBytes() {
    validator_.clear();
    digest_.reset();
    file_.close();
    partial_.remove();
}

void FileTransfer::fail(const QString& why, Retry retry) {
    if (outcome_ != Outcome::Running) return;
    failure_ = why;
    retry_ = retry;
    stopStallTimer();
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
    file_.close();
    if (validator_.isEmpty()) partial_.remove();
    finish(Outcome::Failed);
}

void FileTransfer::finish(Outcome outcome) {
    outcome_ = outcome;
    QMetaObject::invokeMethod(
        this, [this] { emit ended(); }, Qt::QueuedConnection);
}

}  // namespace download
