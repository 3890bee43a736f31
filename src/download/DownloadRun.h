#pragma once
// One run of the queue: fetches the files one after another in queue order while the
// progress window shows how far it got, and stops at once when the user cancels.
#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <chrono>
#include <vector>

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
};

class DownloadRun : public QObject {
    Q_OBJECT
  public:
    DownloadRun(QNetworkAccessManager& network, std::vector<QueuedFile> files,
                std::chrono::milliseconds stallTimeout, int maxRedirects);

    // Returns when every file has ended or the window's Cancel was pressed.
    RunReport exec(ProgressWindow& window);

  private:
    void startNext();
    void onEnded();
    void cancel();

    QNetworkAccessManager& network_;
    const std::vector<QueuedFile> files_;
    const std::chrono::milliseconds stallTimeout_;
    const int maxRedirects_;
    ProgressWindow* window_ = nullptr;
    QPointer<FileTransfer> current_;
    std::size_t next_ = 0;
    RunReport report_;
    QEventLoop loop_;
};

}  // namespace download
