#pragma once
// One run of the queue: the files are asked for in queue order and their transfers overlap
// (HTTP/2 streams on one connection, or parallel HTTP/1.1 connections), while the progress window
// shows the first file not yet ended, as if they came one after another; the run stops at once when
// the user cancels. A file whose try failed for a passing reason is tried again, resuming, after a
// growing pause, until several tries in a row brought no new bytes. The slowest rate worth
// waiting for is the run's, all its transfers together, counted from when the first byte can
// flow: on a slow link overlapped files share it, and each alone may get less.
#include <QEventLoop>
#include <QObject>
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
class RunProgress;

struct QueuedFile {
    QUrl url;
    QString destination;
    // Read and deleted by the caller right away: nobody resumes it after a crash.
    bool scratch = false;
};

struct FailedFile {
    QueuedFile file;
    QString why;
};

struct RunReport {
    int arrived = 0;
    bool cancelled = false;
    // In queue order.
    std::vector<FailedFile> failures;
    // Arrived (and counted so) with neither a size nor a digest to prove them whole; in
    // queue order.
    std::vector<QueuedFile> unproven;
    // Bytes that came over the network, every try of every file.
    qint64 bytesReceived = 0;
};

class DownloadRun : public QObject {
    Q_OBJECT
  public:
    DownloadRun(QNetworkAccessManager& network, std::vector<QueuedFile> files, RunLimits limits);
    ~DownloadRun() override;

    // Returns when every file has ended or cancel() was called; `progress` (may be null)
    // is told what the first file not yet ended is doing.
    RunReport exec(RunProgress* progress);
    // Ends every transfer now; exec returns with what arrived so far.
    void cancel();

  private:
    struct Slot;
    void removeAbandonedPartials();
    void startMore();
    void startTry(std::size_t index);
    void onEnded(std::size_t index);
    void onProgressed(std::size_t index, qint64 done, qint64 total);
    bool retryLater(std::size_t index, const FileTransfer& ended);
    void showFirstUnended();
    void onFlowing();
    void onRateCheck();
    qint64 receivedSoFar() const;

    QNetworkAccessManager& network_;
    const std::vector<QueuedFile> files_;
    const RunLimits limits_;
    const std::unique_ptr<RunProgress> noProgress_;
    RunProgress* window_;  // never null
    std::vector<std::unique_ptr<Slot>> slots_;
    std::size_t nextToStart_ = 0;
    std::size_t shown_ = 0;  // the file the window shows: the first that has not ended
    int active_ = 0;         // started and not ended, pauses between tries included
    int ended_ = 0;
    RunReport report_;
    std::unique_ptr<Alarm> rateWindow_;  // runs while bytes can flow
    qint64 receivedAtWindowStart_ = 0;
    QEventLoop loop_;
};

}  // namespace download
