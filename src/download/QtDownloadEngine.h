#pragma once
// The real engine on Qt Network: a connection probe against the catalogue server, and
// download runs with their own modal progress window.
#include <QNetworkProxy>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/Clock.h"
#include "download/DownloadEngine.h"
#include "download/EnvironmentProxy.h"
#include "download/RetryPolicy.h"

class QNetworkAccessManager;
class QUrl;

struct QtDownloadOptions {
    // A transfer that receives nothing for this long fails.
    std::chrono::milliseconds stallTimeout{30'000};
    // IsConnected waits this long for any answer.
    std::chrono::milliseconds probeTimeout{5'000};
    int maxRedirects = 10;
    // A transfer that brings less than this over a whole window fails like a stalled one.
    qint64 slowestBytesPerSecond = 1024;
    std::chrono::milliseconds rateWindow{60'000};
    // Transient failures are retried after these pauses, within one DownloadFiles.
    download::RetryPolicy retry;
    // Unset: the process environment, read afresh for every run.
    std::optional<download::ProxyEnvironment> proxyEnvironment;
    // Shows the one failure message of a run; unset: a warning box owned by the owner.
    std::function<void(QWidget* owner, const QString& title, const QString& text)> showFailures;
    // Asks for a proxy's credentials (`refused`: the ones in user and password were turned
    // down); false when the user declines. Unset: a small dialog.
    std::function<bool(QWidget* owner, const QNetworkProxy& proxy, bool refused, QString& user,
                       QString& password)>
        askProxyCredentials;
    // Unset: Qt's timers and the system clock. Tests drive time by hand with their own.
    download::Clock* clock = nullptr;
    // What paces the progress window's refresh; unset: the system clock, whatever `clock` is.
    download::Clock* windowClock = nullptr;
};

class QtDownloadEngine : public DownloadEngine {
  public:
    using Options = QtDownloadOptions;

    // `probeUrl`: any HTTP answer from it within the probe timeout means online.
    explicit QtDownloadEngine(std::string probeUrl, Options options = {});
    ~QtDownloadEngine() override;

    int IsConnected() override;
    int SetOption(const std::string& name, const std::string& value) override;
    void ClearFiles() override;
    int AddFile(const std::string& url, const std::string& destination) override;
    int AddScratchFile(const std::string& url, const std::string& destination) override;
    int DownloadFiles(QWidget* owner) override;
    // Bytes the last DownloadFiles received over the network, resumed and retried tries too.
    qint64 lastRunBytesReceived() const { return lastRunBytes_; }

  private:
    struct Queued {
        std::string url;
        std::string destination;
        bool scratch = false;
    };
    // One network manager for the engine's life, so a proxy login given once holds for every
    // later probe and run; the proxy settings are read afresh for every call.
    QNetworkAccessManager& network(QWidget* owner);
    void reportFailures(QWidget* owner, const QString& text) const;
    download::Clock& clock() const;
    static void preconnect(QNetworkAccessManager& network, const QUrl& url);

    const std::string probeUrl_;
    const Options options_;
    std::string title_;
    std::vector<Queued> queue_;
    std::unique_ptr<QNetworkAccessManager> network_;
    qint64 lastRunBytes_ = 0;
};
