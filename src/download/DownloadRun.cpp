#include "download/DownloadRun.h"

#include <QFileInfo>
#include <algorithm>

#include "download/FileTransfer.h"
#include "download/ProgressWindow.h"

namespace download {

DownloadRun::DownloadRun(QNetworkAccessManager& network, std::vector<QueuedFile> files,
                         RunLimits limits)
    : network_(network), files_(std::move(files)), limits_(std::move(limits)) {
    pauseTimer_ = (limits_.clock ? *limits_.clock : systemClock()).alarm();
    connect(pauseTimer_.get(), &Alarm::fired, this, &DownloadRun::startTry);
}

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
    furthest_ = 0;
    triesWithoutProgress_ = 0;
    tries_ = 0;
    digest_.reset();
    startTry();
}

void DownloadRun::startTry() {
    const QueuedFile& file = files_[next_];
    ++tries_;
    window_->setRetrying({}, {});
    current_ = new FileTransfer(network_, file.url, file.destination, limits_, digest_, this);
    connect(current_, &FileTransfer::progressed, window_, &ProgressWindow::setBytes);
    connect(current_, &FileTransfer::ended, this, &DownloadRun::onEnded);
    current_->start();
}

void DownloadRun::onEnded() {
    FileTransfer* const ended = current_;
    // Still inside the transfer's own signal: let it go once that has returned.
    ended->deleteLater();
    current_ = nullptr;
    report_.bytesReceived += ended->received();
    if (ended->outcome() == FileTransfer::Outcome::Arrived) {
        ++report_.arrived;
    } else {
        if (retryLater(*ended)) return;
        report_.failures.push_back({files_[next_], ended->failure()});
    }
    ++next_;
    startNext();
}

// Schedules another try of the current file when the failure may pass; false when not.
bool DownloadRun::retryLater(const FileTransfer& ended) {
    using Retry = FileTransfer::Retry;
    const bool started = tries_ > 1 || furthest_ > 0 || ended.reached() > 0;
    if (ended.retry() == Retry::Never || (ended.retry() == Retry::OnceStarted && !started) ||
        tries_ >= limits_.retry.mostTries)
        return false;
    if (ended.reached() > furthest_) {
        furthest_ = ended.reached();
        triesWithoutProgress_ = 0;
    } else if (++triesWithoutProgress_ > limits_.retry.retriesWithoutProgress) {
        return false;
    }
    // Pauses grow while nothing moves; a try that got further starts the count again.
    const auto pause =
        limits_.retry.pauseBefore(std::max(triesWithoutProgress_, 1), ended.retryAfter());
    window_->setRetrying(ended.failure(), pause);
    pauseTimer_->start(pause);
    return true;
}

void DownloadRun::cancel() {
    report_.cancelled = true;
    pauseTimer_->stop();
    if (current_) current_->cancel();
    loop_.quit();
}

}  // namespace download
