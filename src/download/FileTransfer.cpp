#include "download/FileTransfer.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSslError>
#include <QStorageInfo>
#include <cerrno>
#include <cstring>

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
QString describeWriteError(const QSaveFile& file, int error) {
    constexpr qint64 kNearlyFull = 1 << 20;
    const QStorageInfo volume(QFileInfo(file.fileName()).absolutePath());
#ifdef EDQUOT
    const bool overQuota = error == EDQUOT;
#else
    const bool overQuota = false;  // Windows reports a quota as a full disk
#endif
    const bool full = error == ENOSPC || overQuota ||
                      file.error() == QFileDevice::ResourceError ||
                      (volume.isValid() && volume.bytesAvailable() < kNearlyFull);
    if (full) return FileTransfer::tr("the disk is full (%1)").arg(volume.rootPath());
    const QString why =
        error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : file.errorString();
    return FileTransfer::tr("cannot write %1: %2").arg(file.fileName(), why);
}

}  // namespace

FileTransfer::FileTransfer(QNetworkAccessManager& network, QUrl url, QString destination,
                           std::chrono::milliseconds stallTimeout, int maxRedirects,
                           QObject* parent)
    : QObject(parent),
      network_(network),
      url_(std::move(url)),
      file_(destination),
      stallTimeout_(stallTimeout),
      maxRedirects_(maxRedirects) {
    stallTimer_.setSingleShot(true);
    connect(&stallTimer_, &QTimer::timeout, this, &FileTransfer::onStalled);
}

FileTransfer::~FileTransfer() {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
}

void FileTransfer::start() {
    const QString scheme = url_.scheme().toLower();
    if (!url_.isValid() || (scheme != "http" && scheme != "https"))
        return fail(tr("not a web address: %1").arg(url_.toString()));
    if (!file_.open(QIODevice::WriteOnly)) {
        const QString folder = QFileInfo(file_.fileName()).absolutePath();
        return fail(tr("cannot write to the folder %1 (%2)").arg(folder, file_.errorString()));
    }
    QNetworkRequest request(url_);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(maxRedirects_);
    // Unencoded bodies keep the progress comparable with Content-Length.
    request.setRawHeader("Accept-Encoding", "identity");
    reply_ = network_.get(request);
    reply_->setParent(this);
    connect(reply_, &QNetworkReply::metaDataChanged, this, &FileTransfer::onMetaData);
    connect(reply_, &QNetworkReply::readyRead, this, &FileTransfer::onReadyRead);
    connect(reply_, &QNetworkReply::finished, this, &FileTransfer::onFinished);
    // Qt's own count of the total is the one to trust after redirects.
    connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64, qint64 total) {
        if (total >= 0 && statusIsSuccess()) expected_ = total;
    });
    connect(reply_, &QNetworkReply::sslErrors, this, [this](const QList<QSslError>& errors) {
        QStringList texts;
        for (const QSslError& error : errors) texts << error.errorString();
        tlsProblems_ = texts.join("; ");
    });
    stallTimer_.start(stallTimeout_);
}

void FileTransfer::cancel() {
    if (outcome_ != Outcome::Running) return;
    outcome_ = Outcome::Cancelled;
    stallTimer_.stop();
    file_.cancelWriting();
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
}

bool FileTransfer::statusIsSuccess() const {
    const int status = reply_ ? httpStatus(*reply_) : 0;
    return status >= 200 && status < 300;
}

void FileTransfer::onMetaData() {
    stallTimer_.start(stallTimeout_);
    if (!statusIsSuccess()) return;
    const QVariant declared = reply_->header(QNetworkRequest::ContentLengthHeader);
    expected_ = declared.isValid() ? declared.toLongLong() : -1;
    emit progressed(written_, expected_);
}

void FileTransfer::onReadyRead() {
    stallTimer_.start(stallTimeout_);
    // Through one reused buffer: a fresh block for every piece costs more than the copy.
    if (buffer_.isEmpty()) buffer_.resize(kReadBufferBytes);
    const qint64 before = written_;
    qint64 got = 0;
    while ((got = reply_->read(buffer_.data(), buffer_.size())) > 0) {
        // Error pages and redirect bodies never reach the file.
        if (!statusIsSuccess()) continue;
        errno = 0;
        if (file_.write(buffer_.constData(), got) != got)
            return fail(describeWriteError(file_, errno));
        written_ += got;
    }
    startWriteback();
    // Qt's own downloadProgress stays silent for small pieces, so count here.
    if (written_ != before) emit progressed(written_, expected_);
}

void FileTransfer::startWriteback() {
    // The commit syncs the file to disk; handing the disk each finished stretch now lets
    // that overlap the transfer instead of stalling at its end.
    constexpr qint64 kStretch = 8 * 1024 * 1024;
    if (written_ - writebackStart_ < kStretch || !file_.flush()) return;
    platform::StartWriteback(file_.handle(), writebackStart_, written_ - writebackStart_);
    writebackStart_ = written_;
}

void FileTransfer::onStalled() {
    fail(tr("timed out: nothing arrived for %1 s")
             .arg(std::chrono::duration<double>(stallTimeout_).count()));
}

void FileTransfer::onFinished() {
    if (outcome_ != Outcome::Running) return;
    stallTimer_.stop();
    if (reply_->error() != QNetworkReply::NoError) {
        // A proxy's 407 is better told in words than as a status.
        const int status = httpStatus(*reply_);
        const bool answered = status >= 400 && status != 407;
        return fail(answered ? describeHttpStatus(*reply_)
                             : describeNetworkError(*reply_, tlsProblems_, maxRedirects_));
    }
    if (!statusIsSuccess()) return fail(describeHttpStatus(*reply_));
    onReadyRead();
    if (outcome_ != Outcome::Running) return;
    errno = 0;
    if (!file_.commit()) return fail(describeWriteError(file_, errno));
    finish(Outcome::Arrived);
}

void FileTransfer::fail(const QString& why) {
    if (outcome_ != Outcome::Running) return;
    failure_ = why;
    stallTimer_.stop();
    file_.cancelWriting();
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
    finish(Outcome::Failed);
}

void FileTransfer::finish(Outcome outcome) {
    outcome_ = outcome;
    QMetaObject::invokeMethod(
        this, [this] { emit ended(); }, Qt::QueuedConnection);
}

}  // namespace download
