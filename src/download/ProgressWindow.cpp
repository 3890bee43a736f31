#include "download/ProgressWindow.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace download {

namespace {
constexpr int kBarSteps = 1000;
constexpr int kWidth = 460;

QLabel* makeLabel(QWidget* parent, const char* objectName) {
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    return label;
}

// Widgets side by side; the one at `stretching` takes the spare room.
QHBoxLayout* row(std::initializer_list<QWidget*> widgets, int stretching) {
    auto* layout = new QHBoxLayout;
    int i = 0;
    for (QWidget* widget : widgets) layout->addWidget(widget, i++ == stretching ? 1 : 0);
    layout->setSpacing(12);
    return layout;
}
}  // namespace

ProgressWindow::ProgressWindow(QWidget* owner, const QString& caption)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint |
                         Qt::WindowCloseButtonHint) {
    setObjectName("ProgressWindow");
    setWindowTitle(caption);
    setWindowModality(Qt::ApplicationModal);
    buildLayout();
    clock_.start();
    connect(&refreshTimer_, &QTimer::timeout, this, &ProgressWindow::refresh);
    refreshTimer_.start(kRefreshMs);
    dirty_ = true;
    refresh();
}

void ProgressWindow::buildLayout() {
    fileLabel_ = makeLabel(this, "FileLabel");
    bytesLabel_ = makeLabel(this, "BytesLabel");
    speedLabel_ = makeLabel(this, "SpeedLabel");
    timeLeftLabel_ = makeLabel(this, "TimeLeftLabel");
    fileCountLabel_ = makeLabel(this, "FileCountLabel");
    retryLabel_ = makeLabel(this, "RetryLabel");
    retryLabel_->setWordWrap(true);
    retryLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    speedLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    timeLeftLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont bold = fileLabel_->font();
    bold.setBold(true);
    fileLabel_->setFont(bold);

    fileBar_ = new QProgressBar(this);
    fileBar_->setObjectName("FileProgress");
    overallBar_ = new QProgressBar(this);
    overallBar_->setObjectName("OverallProgress");
    for (QProgressBar* bar : {fileBar_, overallBar_}) {
        bar->setRange(0, kBarSteps);
        bar->setTextVisible(false);
    }
    cancelButton_ = new QPushButton(tr("Cancel"), this);
    cancelButton_->setObjectName("CancelButton");
    cancelButton_->setAutoDefault(false);
    connect(cancelButton_, &QPushButton::clicked, this, &ProgressWindow::cancelRequested);

    auto* caption = makeLabel(this, "FileCaption");
    caption->setText(tr("Downloading:"));
    fileLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row({caption, fileLabel_}, 1));
    layout->addWidget(fileBar_);
    layout->addLayout(row({bytesLabel_, speedLabel_, timeLeftLabel_}, 0));
    layout->addWidget(retryLabel_);
    layout->addSpacing(6);
    layout->addWidget(fileCountLabel_);
    layout->addWidget(overallBar_);
    layout->addSpacing(6);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancelButton_);
    layout->addLayout(buttons);
    setFixedWidth(kWidth);
    // A fixed size keeps window managers from offering to maximize it.
    setFixedHeight(sizeHint().height());
}

void ProgressWindow::beginFile(int index, int count, const QString& name) {
    index_ = index;
    count_ = count;
    name_ = name;
    done_ = 0;
    total_ = -1;
    rate_.reset();
    retryLabel_->clear();
    dirty_ = true;
}

void ProgressWindow::setRetrying(const QString& why, std::chrono::milliseconds pause) {
    if (why.isEmpty()) {
        retryLabel_->clear();
        return;
    }
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(pause).count();
    retryLabel_->setText(tr("Retrying in %1 s: %2").arg(seconds).arg(why));
}

void ProgressWindow::setBytes(qint64 done, qint64 total) {
    if (done == done_ && total == total_) return;
    done_ = done;
    total_ = total;
    dirty_ = true;
}

void ProgressWindow::reject() {
    emit cancelRequested();
}

void ProgressWindow::refresh() {
    // Speed and time left change while no byte arrives, so they follow the clock.
    rate_.sample(clock_.elapsed(), done_);
    refreshSpeed();
    if (!dirty_) return;
    dirty_ = false;
    ++refreshCount_;
    const int width = std::max(100, fileLabel_->width());
    fileLabel_->setText(fileLabel_->fontMetrics().elidedText(name_, Qt::ElideMiddle, width));
    fileLabel_->setToolTip(name_);
    bytesLabel_->setText(formatAmount(done_, total_));
    fileCountLabel_->setText(tr("File %1 of %2").arg(count_ > 0 ? index_ + 1 : 0).arg(count_));
    double fraction = 0.0;
    if (total_ > 0) {
        fraction = std::min(1.0, static_cast<double>(done_) / static_cast<double>(total_));
        fileBar_->setRange(0, kBarSteps);
        fileBar_->setValue(static_cast<int>(fraction * kBarSteps));
    } else if (total_ == 0) {
        fileBar_->setRange(0, kBarSteps);
        fileBar_->setValue(kBarSteps);
    } else {
        fileBar_->setRange(0, 0);  // size unknown: a busy bar
    }
    const double overall = count_ > 0 ? (index_ + fraction) / count_ : 0.0;
    overallBar_->setValue(static_cast<int>(overall * kBarSteps));
}

void ProgressWindow::refreshSpeed() {
    const double perSecond = rate_.bytesPerSecond();
    speedLabel_->setText(perSecond < 0
                             ? tr("Speed: -")
                             : tr("Speed: %1/s").arg(formatBytes(static_cast<qint64>(perSecond))));
    const qint64 left = rate_.secondsLeft(total_);
    timeLeftLabel_->setText(left < 0 ? tr("Time left: unknown")
                                     : tr("Time left: %1").arg(formatDuration(left)));
}

}  // namespace download
