#pragma once
// One run of the queue: fetches the files one after another in queue order while the
// progress window shows how far it got, and stops at once when the user cancels. A file
// whose try failed for a passing reason is tried again, resuming, after a growing pause,
// until several tries in a row brought no new bytes.
#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "download/Clock.h"
#include "download/Digest.h"
#include "download/RetryPolicy.h"

class QNetworkAccessManager;

namespace download {

class FileTransfer;
class ProgressWindow;

struct QueuedFile {
    QUrl url;
    QString destination;
};

struct FailedFile {
    QueuedFile file;
    QString why;
};

struct RunReport {
    int arrived = 0;
    bool cancelled = false;
    std::vector<FailedFile> failures;
    // Bytes that came over the network, every try of every file.
    qint64 bytesReceived = 0;
};

class DownloadRun : public QObject {
    Q_OBJECT
  public:
    DownloadRun(QNetworkAccessManager& network, std::vector<QueuedFile> files, RunLimits limits);

    // Returns when every file has ended or the window's Cancel was pressed.
    RunReport exec(ProgressWindow& window);

  private:
    void startNext();
    void startTry();
    void onEnded();
    bool retryLater(const FileTransfer& ended);
    void cancel();

    QNetworkAccessManager& network_;
    const std::vector<QueuedFile> files_;
    const RunLimits limits_;
    ProgressWindow* window_ = nullptr;
    QPointer<FileTransfer> current_;
    std::unique_ptr<Alarm> pauseTimer_;
    std::size_t next_ = 0;
    // Of the current file: how far any try got, tries in a row that got no further, and
    // the running hash that a resumed try continues.
    qint64 furthest_ = 0;
    int triesWithoutProgress_ = 0;
    int tries_ = 0;
    std::optional<RunningDigest> digest_;
    RunReport report_;
    QEventLoop loop_;
};

}  // namespace download
