#pragma once
// The modal window of a download run: the current file, bytes done of total, speed, time
// left, "File i of n", the file's and the whole run's progress, and Cancel. The engine may
// report progress as often as it likes; the window repaints once per tick of its clock.
// It is as wide as its texts need at the desktop's font, and never narrower than designed.
#include <QDialog>
#include <QString>
#include <chrono>
#include <memory>

#include "download/Clock.h"
#include "download/EngineUi.h"
#include "download/ProgressText.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace download {

class ElidedLabel;

class ProgressWindow : public QDialog, public RunProgress {
    Q_OBJECT
  public:
    static constexpr int kRefreshMs = 100;

    // It ticks every kRefreshMs of `clock` (the system's when none is given); tests hand in
    // a clock they move themselves.
    ProgressWindow(QWidget* owner, const QString& caption, Clock* clock = nullptr);
    ~ProgressWindow() override;

    // File `index` (0-based) of `count` begins.
    void beginFile(int index, int count, const QString& name) override;
    // Bytes of the current file so far; total < 0 when the server did not say.
    void setBytes(qint64 done, qint64 total) override;
    // A try failed and the next follows after `pause`; an empty `why` clears the notice.
    void setRetrying(const QString& why, std::chrono::milliseconds pause) override;
    // How many times the labels were refreshed; tests check the rate limit with it.
    int refreshCount() const { return refreshCount_; }

  signals:
    // Cancel pressed, Escape, or the window's close box.
    void cancelRequested();

  protected:
    void reject() override;

  private:
    void buildLayout();
    void refresh();
    void refreshSpeed();

    ElidedLabel* fileLabel_ = nullptr;
    QLabel* bytesLabel_ = nullptr;
    QLabel* speedLabel_ = nullptr;
    QLabel* timeLeftLabel_ = nullptr;
    QLabel* fileCountLabel_ = nullptr;
    QLabel* retryLabel_ = nullptr;
    QProgressBar* fileBar_ = nullptr;
    QProgressBar* overallBar_ = nullptr;
    QPushButton* cancelButton_ = nullptr;

    Clock& clock_;
    std::unique_ptr<Alarm> tick_;
    std::chrono::milliseconds started_{0};
    RateMeter rate_;
    int index_ = 0;
    int count_ = 0;
    QString name_;
    qint64 done_ = 0;
    qint64 total_ = -1;
    bool dirty_ = false;
    int refreshCount_ = 0;
};

}  // namespace download
