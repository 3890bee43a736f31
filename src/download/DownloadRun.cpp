#include "download/DownloadRun.h"

#include <QFileInfo>

#include "download/FileTransfer.h"
#include "download/ProgressWindow.h"

namespace download {

DownloadRun::DownloadRun(QNetworkAccessManager& network, std::vector<QueuedFile> files,
                         std::chrono::milliseconds stallTimeout, int maxRedirects)
    : network_(network),
      files_(std::move(files)),
      stallTimeout_(stallTimeout),
      maxRedirects_(maxRedirects) {}

RunReport DownloadRun::exec(ProgressWindow& window) {
    window_ = &window;
    connect(&window, &ProgressWindow::cancelRequested, this, &DownloadRun::cancel);
    startNext();
    if (next_ < files_.size()) loop_.exec();
    window_->disconnect(this);
    return report_;
}

void DownloadRun::startNext() {
    if (report_.cancelled || next_ >= files_.size()) {
        loop_.quit();
        return;
    }
    const QueuedFile& file = files_[next_];
    window_->beginFile(static_cast<int>(next_), static_cast<int>(files_.size()),
                       QFileInfo(file.destination).fileName());
    current_ =
        new FileTransfer(network_, file.url, file.destination, stallTimeout_, maxRedirects_, this);
    connect(current_, &FileTransfer::progressed, window_, &ProgressWindow::setBytes);
    connect(current_, &FileTransfer::ended, this, &DownloadRun::onEnded);
    current_->start();
}

void DownloadRun::onEnded() {
    FileTransfer* const ended = current_;
    if (ended->outcome() == FileTransfer::Outcome::Arrived)
        ++report_.arrived;
    else
        report_.failures.push_back({files_[next_], ended->failure()});
    // Still inside the transfer's own signal: let it go once that has returned.
    ended->deleteLater();
    current_ = nullptr;
    ++next_;
    startNext();
}

void DownloadRun::cancel() {
    report_.cancelled = true;
    if (current_) current_->cancel();
    loop_.quit();
}

}  // namespace download
