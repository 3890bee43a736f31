#pragma once
// One queued file on its way: the answer streams into a QSaveFile beside the destination,
// which replaces the destination only when the whole answer arrived with a 2xx status.
// Anything else discards the temporary file, so an older file at the destination stays.
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>
#include <chrono>

class QNetworkAccessManager;

namespace download {

class FileTransfer : public QObject {
    Q_OBJECT
  public:
    enum class Outcome { Running, Arrived, Failed, Cancelled };

    FileTransfer(QNetworkAccessManager& network, QUrl url, QString destination,
                 std::chrono::milliseconds stallTimeout, int maxRedirects, QObject* parent);
    ~FileTransfer() override;

    // Opens the temporary file and sends the request; ended() follows, always queued.
    void start();
    // Ends at once; no ended() follows.
    void cancel();

    Outcome outcome() const { return outcome_; }
    // Why it failed, in words for the user.
    const QString& failure() const { return failure_; }

  signals:
    void progressed(qint64 done, qint64 total);
    void ended();

  private:
    void onMetaData();
    void onReadyRead();
    void onFinished();
    void onStalled();
    void startWriteback();
    void fail(const QString& why);
    void finish(Outcome outcome);
    bool statusIsSuccess() const;

    QNetworkAccessManager& network_;
    const QUrl url_;
    QSaveFile file_;
    const std::chrono::milliseconds stallTimeout_;
    const int maxRedirects_;
    QPointer<QNetworkReply> reply_;
    QTimer stallTimer_;
    QString tlsProblems_;
    static constexpr qsizetype kReadBufferBytes = 256 * 1024;
    QByteArray buffer_;
    qint64 writebackStart_ = 0;  // bytes before this are on their way to the disk
    qint64 written_ = 0;
    qint64 expected_ = -1;  // size of the 2xx answer, when known
    Outcome outcome_ = Outcome::Running;
    QString failure_;
};

}  // namespace download
