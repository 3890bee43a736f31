#pragma once
// What the engine shows and asks while it works, and nothing of how: the window program
// hands in its progress window and dialogs (download/ui), a front end without windows its
// own. Every part may be left unset: no progress is shown, failures are not shown, and a
// proxy login is declined.
#include <QNetworkProxy>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "core/DownloadEngine.h"

namespace download {

// The progress of one run while it goes; gone when the run has ended.
class RunProgress {
  public:
    virtual ~RunProgress() = default;
    // File `index` (0-based) of `count` begins.
    virtual void beginFile(int index, int count, const QString& name) = 0;
    // Bytes of the current file so far; total < 0 when the server did not say.
    virtual void setBytes(qint64 done, qint64 total) = 0;
    // A try failed and the next follows after `pause`; an empty `why` clears the notice.
    virtual void setRetrying(const QString& why, std::chrono::milliseconds pause) = 0;
};

struct ProxyCredentials {
    QString user;
    QString password;
    bool operator==(const ProxyCredentials&) const = default;
};

struct EngineUi {
    // Opens the question for a proxy's credentials (`refused`: the ones last given for it,
    // whose user name is `user`, were turned down) and may return before it is answered;
    // `answered` is called once, with nullopt when the person declines.
    using AskProxyCredentials = std::function<void(
        OwnerWindow owner, const QNetworkProxy& proxy, bool refused, const QString& user,
        std::function<void(std::optional<ProxyCredentials>)> answered)>;

    // Shows a run's progress under `caption`; `cancel` ends the run when the person asks.
    std::function<std::unique_ptr<RunProgress>(OwnerWindow owner, const QString& caption,
                                               std::function<void()> cancel)>
        showProgress;
    // The one failure message of a run.
    std::function<void(OwnerWindow owner, const QString& title, const QString& text)> showFailures;
    AskProxyCredentials askProxyCredentials;
};

}  // namespace download
