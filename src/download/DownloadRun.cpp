#include "download/DownloadRun.h"

#include <QFileInfo>
#include <QPointer>
#include <QSet>
#include <algorithm>

#include "download/EngineUi.h"
#include "download/FileTransfer.h"
#include "download/PartialFile.h"
#include "download/ProxyLogins.h"

namespace download {

namespace {

// Where progress goes when nobody watches, and after the run.
class NoProgress : public RunProgress {
  public:
    void beginFile(int, int, const QString&) override {}
    void setBytes(qint64, qint64) override {}
    void setRetrying(const QString&, std::chrono::milliseconds) override {}
};

}  // namespace

// The state of one queued file across its tries.
struct DownloadRun::Slot {
    QPointer<FileTransfer> transfer;
    std::unique_ptr<Alarm> pause;
    // How far any try got, tries in a row that got no further, and the running hash that a
    // resumed try continues.
    qint64 furthest = 0;
    int triesWithoutProgress = 0;
    int tries = 0;
    std::optional<RunningDigest> digest;
    // What the window shows once this file is the first unended one.
    qint64 done = 0;
    qint64 total = -1;
    QString retryWhy;
    std::chrono::milliseconds retryPause{0};
    bool unproven = false;  // arrived with nothing to prove it whole
    bool ended = false;
    std::optional<QString> failure;
};

DownloadRun::DownloadRun(QNetworkAccessManager& network, std::vector<QueuedFile> files,
                         RunLimits limits)
    : network_(network),
      files_(std::move(files)),
      limits_(std::move(limits)),
      noProgress_(std::make_unique<NoProgress>()),
      window_(noProgress_.get()),
      // Nothing arrives while the person types a proxy login; that is no slow link.
      rateWindow_(HeldWhileAsking(clockOr(limits_.clock).alarm(), network_)) {
    connect(rateWindow_.get(), &Alarm::fired, this, &DownloadRun::onRateCheck);
    for (std::size_t index = 0; index < files_.size(); ++index) {
        auto slot = std::make_unique<Slot>();
        // A pause that runs out while the person types only brings the next question sooner.
        slot->pause = HeldWhileAsking(clockOr(limits_.clock).alarm(), network_);
        connect(slot->pause.get(), &Alarm::fired, this, [this, index] { startTry(index); });
        slots_.push_back(std::move(slot));
    }
}

DownloadRun::~DownloadRun() = default;

RunReport DownloadRun::exec(RunProgress* progress) {
    window_ = progress ? progress : noProgress_.get();
    if (!files_.empty()) {
        removeAbandonedPartials();
        window_->beginFile(0, static_cast<int>(files_.size()),
                           QFileInfo(files_[0].destination).fileName());
        startMore();
        if (ended_ < static_cast<int>(files_.size()) && !report_.cancelled) loop_.exec();
    }
    window_ = noProgress_.get();
    for (std::size_t index = 0; index < files_.size(); ++index) {
        if (slots_[index]->failure)
            report_.failures.push_back({files_[index], *slots_[index]->failure});
        if (slots_[index]->unproven) report_.unproven.push_back(files_[index]);
    }
    return report_;
}

// Once a run for each folder it downloads into, not once a try: a download folder can be large.
void DownloadRun::removeAbandonedPartials() {
    const QDateTime now = clockOr(limits_.clock).utcNow();
    QSet<QString> folders;
    for (const QueuedFile& file : files_)
        folders.insert(QFileInfo(file.destination).absolutePath());
    for (const QString& folder : folders) PartialFile::removeAbandoned(folder, now);
}

// Asks for the next files in queue order while fewer than the limit are under way.
void DownloadRun::startMore() {
    const int limit = std::max(limits_.overlap, 1);
    while (!report_.cancelled && active_ < limit && nextToStart_ < files_.size()) {
        ++active_;
        startTry(nextToStart_++);
    }
}

void DownloadRun::startTry(std::size_t index) {
    const QueuedFile& file = files_[index];
    Slot& slot = *slots_[index];
    ++slot.tries;
    slot.retryWhy.clear();
    if (index == shown_) window_->setRetrying({}, {});
    auto* transfer =
        new FileTransfer(network_, file.url, file.destination, limits_, slot.digest, this);
    transfer->setScratch(file.scratch);
    slot.transfer = transfer;
    connect(transfer, &FileTransfer::progressed, this,
            [this, index](qint64 done, qint64 total) { onProgressed(index, done, total); });
    connect(transfer, &FileTransfer::ended, this, [this, index] { onEnded(index); });
    connect(transfer, &FileTransfer::flowing, this, &DownloadRun::onFlowing);
    transfer->start();
}

void DownloadRun::onProgressed(std::size_t index, qint64 done, qint64 total) {
    Slot& slot = *slots_[index];
    slot.done = done;
    slot.total = total;
    if (index == shown_) window_->setBytes(done, total);
    // Bytes moving for one file mean the connections are alive: a file waiting its turn
    // behind it on the same connection is not stalled.
    for (const auto& other : slots_)
        if (other.get() != &slot && other->transfer) other->transfer->keepWaiting();
}

void DownloadRun::onEnded(std::size_t index) {
    Slot& slot = *slots_[index];
    FileTransfer* const ended = slot.transfer;
    // Still inside the transfer's own signal: let it go once that has returned.
    ended->deleteLater();
    slot.transfer = nullptr;
    report_.bytesReceived += ended->received();
    if (ended->outcome() == FileTransfer::Outcome::Arrived) {
        ++report_.arrived;
        slot.unproven = ended->unproven();
    } else {
        if (retryLater(index, *ended)) return;
        slot.failure = ended->failure();
    }
    slot.ended = true;
    ++ended_;
    --active_;
    showFirstUnended();
    if (ended_ == static_cast<int>(files_.size())) {
        loop_.quit();
        return;
    }
    startMore();
}

void DownloadRun::showFirstUnended() {
    const std::size_t before = shown_;
    while (shown_ < files_.size() && slots_[shown_]->ended) ++shown_;
    if (shown_ == before || shown_ >= files_.size()) return;
    const Slot& slot = *slots_[shown_];
    window_->beginFile(static_cast<int>(shown_), static_cast<int>(files_.size()),
                       QFileInfo(files_[shown_].destination).fileName());
    if (slot.done > 0 || slot.total >= 0) window_->setBytes(slot.done, slot.total);
    window_->setRetrying(slot.retryWhy, slot.retryPause);
}

// Schedules another try of the file when the failure may pass; false when not.
bool DownloadRun::retryLater(std::size_t index, const FileTransfer& ended) {
    using Retry = FileTransfer::Retry;
    Slot& slot = *slots_[index];
    const bool started = slot.tries > 1 || slot.furthest > 0 || ended.reached() > 0;
    if (ended.retry() == Retry::Never || (ended.retry() == Retry::OnceStarted && !started) ||
        slot.tries >= limits_.retry.mostTries)
        return false;
    if (ended.reached() > slot.furthest) {
        slot.furthest = ended.reached();
        slot.triesWithoutProgress = 0;
    } else if (++slot.triesWithoutProgress > limits_.retry.retriesWithoutProgress) {
        return false;
    }
    // Pauses grow while nothing moves; a try that got further starts the count again.
    const auto pause =
        limits_.retry.pauseBefore(std::max(slot.triesWithoutProgress, 1), ended.retryAfter());
    slot.retryWhy = ended.failure();
    slot.retryPause = pause;
    if (index == shown_) window_->setRetrying(slot.retryWhy, pause);
    slot.pause->start(pause);
    return true;
}

qint64 DownloadRun::receivedSoFar() const {
    qint64 received = report_.bytesReceived;
    for (const auto& slot : slots_)
        if (slot->transfer) received += slot->transfer->received();
    return received;
}

// The window opens once the connection is up: DNS, TCP and TLS on a slow link are no
// slow transfer.
void DownloadRun::onFlowing() {
    if (rateWindow_->isActive()) return;
    receivedAtWindowStart_ = receivedSoFar();
    rateWindow_->start(limits_.rateWindow);
}

// A trickle restarts each stall timer with every byte; over a whole window the run must
// bring at least the slowest rate worth waiting for. A window that ends while every file
// waits for its retry judges nothing: the next try to get through opens a new one.
void DownloadRun::onRateCheck() {
    std::vector<QPointer<FileTransfer>> running;
    for (const auto& slot : slots_)
        if (slot->transfer && slot->transfer->outcome() == FileTransfer::Outcome::Running)
            running.push_back(slot->transfer);
    if (running.empty()) return;
    const qint64 received = receivedSoFar();
    const double seconds = std::chrono::duration<double>(limits_.rateWindow).count();
    if (received - receivedAtWindowStart_ >=
        qint64(double(limits_.slowestBytesPerSecond) * seconds)) {
        receivedAtWindowStart_ = received;
        rateWindow_->start(limits_.rateWindow);
        return;
    }
    const QString why = FileTransfer::tr("too slow: less than %1 bytes a second for %2 s")
                            .arg(limits_.slowestBytesPerSecond)
                            .arg(seconds);
    for (const QPointer<FileTransfer>& transfer : running)
        if (transfer) transfer->failTooSlow(why);
}

void DownloadRun::cancel() {
    rateWindow_->stop();
    report_.cancelled = true;
    for (const auto& slot : slots_) {
        slot->pause->stop();
        if (slot->transfer) slot->transfer->cancel();
    }
    loop_.quit();
}

}  // namespace download
