#include "download/ui/ProgressWindow.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>

namespace download {

// Shows as much of a long text as fits, cut in the middle; the whole text stays its hint and
// its accessible name. It asks for no width of its own, so a long name never widens the window.
class ElidedLabel : public QLabel {
  public:
    using QLabel::QLabel;
    void setFullText(const QString& text) {
        full_ = text;
        setToolTip(text);
        setAccessibleName(text);
        elide();
    }

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        elide();
    }

  private:
    void elide() {
        setText(fontMetrics().elidedText(full_, Qt::ElideMiddle, contentsRect().width()));
    }
    QString full_;
};

namespace {
constexpr int kBarSteps = 1000;
constexpr int kDesignedWidth = 460;
constexpr qint64 kLargest = 1048470LL * 1024 * 1024;  // "1023.9 GB", the widest amount

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

// A label keeps the width of the widest of its usual texts, so the window does not change
// its width with every refresh; a wider text still widens it.
void reserveWidth(QLabel* label, std::initializer_list<QString> samples) {
    int widest = 0;
    for (const QString& sample : samples)
        widest = std::max(widest, label->fontMetrics().horizontalAdvance(sample));
    label->setMinimumWidth(widest + label->contentsMargins().left() +
                           label->contentsMargins().right());
}

}  // namespace

ProgressWindow::ProgressWindow(QWidget* owner, const QString& caption, Clock* clock)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint |
                         Qt::WindowCloseButtonHint),
      clock_(clockOr(clock)),
      tick_(clock_.alarm()),
      started_(clock_.sinceStart()) {
    setObjectName("ProgressWindow");
    setWindowTitle(caption);
    setWindowModality(Qt::ApplicationModal);
    buildLayout();
    connect(tick_.get(), &Alarm::fired, this, [this] {
        tick_->start(std::chrono::milliseconds(kRefreshMs));
        refresh();
    });
    tick_->start(std::chrono::milliseconds(kRefreshMs));
    dirty_ = true;
    refresh();
}

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::buildLayout() {
    fileLabel_ = new ElidedLabel(this);
    fileLabel_->setObjectName("FileLabel");
    bytesLabel_ = makeLabel(this, "BytesLabel");
    speedLabel_ = makeLabel(this, "SpeedLabel");
    timeLeftLabel_ = makeLabel(this, "TimeLeftLabel");
    fileCountLabel_ = makeLabel(this, "FileCountLabel");
    retryLabel_ = makeLabel(this, "RetryLabel");
    retryLabel_->setWordWrap(true);
    retryLabel_->hide();
    retryLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    speedLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    timeLeftLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont bold = fileLabel_->font();
    bold.setBold(true);
    fileLabel_->setFont(bold);
    reserveWidth(bytesLabel_, {formatAmount(1023, -1), formatAmount(kLargest, -1),
                               formatAmount(kLargest, kLargest)});
    reserveWidth(speedLabel_, {tr("Speed: -"), tr("Speed: %1/s").arg(formatBytes(1023)),
                               tr("Speed: %1/s").arg(formatBytes(kLargest))});
    reserveWidth(timeLeftLabel_,
                 {tr("Time left: unknown"), tr("Time left: %1").arg(formatDuration(99 * 3600))});

    fileBar_ = new QProgressBar(this);
    fileBar_->setObjectName("FileProgress");
    fileBar_->setAccessibleName(tr("Progress of this file"));
    overallBar_ = new QProgressBar(this);
    overallBar_->setObjectName("OverallProgress");
    overallBar_->setAccessibleName(tr("Progress of all files"));
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
    caption->setBuddy(fileLabel_);  // a screen reader reads the caption as the name's label
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
    const QMargins margins = layout->contentsMargins();
    overallBar_->setMinimumWidth(kDesignedWidth - margins.left() - margins.right());
    // The size follows the texts (a wrapped retry notice makes it taller); a fixed size also
    // keeps window managers from offering to maximize it.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void ProgressWindow::beginFile(int index, int count, const QString& name) {
    index_ = index;
    count_ = count;
    name_ = name;
    done_ = 0;
    total_ = -1;
    rate_.reset();
    setRetrying({}, {});
    dirty_ = true;
}

void ProgressWindow::setRetrying(const QString& why, std::chrono::milliseconds pause) {
    // Only while there is a notice: otherwise its empty line would gape in the window.
    retryLabel_->setVisible(!why.isEmpty());
    if (why.isEmpty()) {
        retryLabel_->clear();
        retryLabel_->setAccessibleName(QString());
        return;
    }
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(pause).count();
    const QString text = tr("Retrying in %1 s: %2").arg(seconds).arg(why);
    retryLabel_->setText(breakableText(text));
    retryLabel_->setAccessibleName(text);
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
    rate_.sample((clock_.sinceStart() - started_).count(), done_);
    refreshSpeed();
    if (!dirty_) return;
    dirty_ = false;
    ++refreshCount_;
    fileLabel_->setFullText(name_);
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
