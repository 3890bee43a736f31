#pragma once
// One try of one queued file: the answer streams into the partial file beside the
// destination, which replaces the destination (by rename, after a sync) only when the whole
// file arrived with a 200 or a fitting 206, unencoded, of the announced length and, when a
// digest came with it, matching it. A failure keeps the bytes for a resume when the server
// gave a strong validator and discards them otherwise, so an older file at the destination
// always stays. Kept bytes are synced every few MiB and when a try ends, and a resume starts
// from the last synced length the note records, never from the partial file's size. Parts combine
// only under the same validator, from the same final address, with the same size and digest as the
// answer that began the file.
#include <QFile>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <chrono>
#include <optional>

#include "download/Clock.h"
#include "download/Digest.h"
#include "download/HttpFields.h"
#include "download/PartialFile.h"
#include "download/RetryPolicy.h"

class QNetworkAccessManager;
class QNetworkRequest;

namespace download {

// A request of the engine to `url`. Over TLS it offers HTTP/1.1 only, as the spare connections
// opened beside the connection check do: Qt keeps a host's HTTP/2-capable connections apart from
// its HTTP/1.1 ones, so a request that allowed HTTP/2 would never take a warm spare.
QNetworkRequest engineRequest(const QUrl& url);

class FileTransfer : public QObject {
    Q_OBJECT
  public:
    enum class Outcome { Running, Arrived, Failed, Cancelled };
    // Whether another try may do better.
    enum class Retry { Never, Always, OnceStarted };

    // `digest` carries the running hash from one try of the file to the next.
    FileTransfer(QNetworkAccessManager& network, QUrl url, QString destination,
                 const RunLimits& limits, std::optional<RunningDigest>& digest, QObject* parent);
    ~FileTransfer() override;

    // Opens the partial file and sends the request; ended() follows, always queued.
    void start();
    // Ends at once, keeping what arrived when it can be resumed; no ended() follows.
    void cancel();
    // A small file its caller reads and deletes at once: no resume note and no sync to disk,
    // which cost more than fetching it again. Set before start().
    void setScratch(bool scratch) { scratch_ = scratch; }
    // Another transfer on the same connections moved: waiting for one's turn is no stall.
    void keepWaiting();
    // The run as a whole brought too little: this try ends so that a later one may do better.
    void failTooSlow(const QString& why);

    Outcome outcome() const { return outcome_; }
    // Why it failed, in words for the user.
    const QString& failure() const { return failure_; }
    Retry retry() const { return retry_; }
    // The server's Retry-After, when it gave one.
    std::optional<std::chrono::milliseconds> retryAfter() const { return retryAfter_; }
    // How far into the file this try got.
    qint64 reached() const { return written_; }
    // Bytes of the file this try received over the network.
    qint64 received() const { return received_; }
    // Arrived, but the server told neither the file's size nor its digest: the body ended
    // where the connection did, and nothing tells whether that was the file's end.
    bool unproven() const { return unproven_; }

  signals:
    void progressed(qint64 done, qint64 total);
    // The connection is up (the handshakes done, or the answer's head in): bytes can flow.
    void flowing();
    void ended();

  private:
    void onMetaData();
    bool acceptAnswer();
    bool acceptPart();
    QString misfitOfPart(const std::optional<ContentRange>& range,
                         const std::optional<qint64>& length, const DigestFields& digest) const;
    bool acceptWhole();
    bool startDigest(const std::optional<ExpectedDigest>& expected);
    void onReadyRead();
    void onFinished();
    void failFromReply();
    void onStalled();
    void deliver();
    // The rename into place; a name held by another program gets a few short tries.
    void putInPlace();
    // A complete partial of an earlier try, whose note and bytes still agree: used unasked.
    bool deliverKept();
    // Whether `bytes` more fit on the download folder's disk; fails early when they cannot.
    bool roomFor(qint64 bytes);
    // A failed write; on a full disk the partial goes, since it could never be finished.
    void failWrite(int error);
    void startWriteback();
    // Syncs the bytes written so far and then records them in the note as on the disk.
    bool recordSynced();
    void fail(const QString& why, Retry retry = Retry::Never);
    void dropBytes();
    // Stops the reply and the timers and closes the file, keeping resumable bytes only.
    void stop();
    void abortReply();
    void finish(Outcome outcome);
    bool statusCarriesFile() const;
    bool skipsDurability(qint64 size) const;
    // The one place the stall timer is armed and disarmed.
    void restartStallTimer();
    void stopStallTimer();

    QNetworkAccessManager& network_;
    const QUrl url_;
    const QString destination_;
    const PartialFile partial_;
    QFile file_;
    QString validator_;  // of the bytes in the partial file; empty: not resumable
    // What the answer that began the bytes kept said about the file; binds every later part.
    std::optional<PartialNote> known_;
    qint64 resumeFrom_ = 0;  // bytes asked not to be sent again
    bool metaSeen_ = false;
    std::optional<RunningDigest>& digest_;
    const RunLimits limits_;
    Clock& clock_;
    QPointer<QNetworkReply> reply_;
    std::unique_ptr<Alarm> stallTimer_;
    std::unique_ptr<Alarm> renameTimer_;
    int renameTries_ = 0;
    QString tlsProblems_;
    static constexpr qsizetype kReadBufferBytes = 256 * 1024;
    QByteArray buffer_;
    qint64 writebackStart_ = 0;  // bytes before this are on their way to the disk
    qint64 written_ = 0;
    qint64 syncedTo_ = 0;   // bytes the note vouches for as on the disk
    qint64 expected_ = -1;  // size of the whole file, when known
    qint64 received_ = 0;
    Outcome outcome_ = Outcome::Running;
    QString failure_;
    Retry retry_ = Retry::Never;
    std::optional<std::chrono::milliseconds> retryAfter_;
    bool scratch_ = false;
    bool sizeUntold_ = false;  // no answer of the file's bytes gave its whole size
    bool unproven_ = false;
};

}  // namespace download
