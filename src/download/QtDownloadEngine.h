#pragma once
// The real engine on Qt Network: a connection probe against the catalogue server, and
// download runs that show their progress through the front end's EngineUi.
#include <QNetworkProxy>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/DownloadEngine.h"
#include "download/Clock.h"
#include "download/EngineUi.h"
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
    // What the engine shows and asks; unset parts show and ask nothing.
    download::EngineUi ui;
    // Unset: Qt's timers and the system clock. Tests drive time by hand with their own.
    download::Clock* clock = nullptr;
    // Bytes between the syncs that make a partial download resumable after a power cut.
    qint64 syncStretch = download::RunLimits{}.syncStretch;
    // Transfers in flight at once; 1 asks for each file only after the one before has ended.
    int overlap = download::RunLimits{}.overlap;
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
    // 1 also when a file arrived that nothing proves whole (the server told neither its size
    // nor its digest): it is counted as arrived, named in the run's message, and listed by
    // lastRunUnproven(), so the caller checks it by other means (a signature) before use.
    int DownloadFiles(OwnerWindow owner) override;
    // The destinations of the last run's files that arrived unproven, in queue order.
    const std::vector<std::string>& lastRunUnproven() const { return lastRunUnproven_; }
    // Bytes the last DownloadFiles received over the network, resumed and retried tries too.
    qint64 lastRunBytesReceived() const { return lastRunBytes_; }
    // Objects the network manager holds between calls: a long session must not pile them up.
    int heldObjects() const;

  private:
    struct Queued {
        std::string url;
        std::string destination;
        bool scratch = false;
    };
    // One network manager for the engine's life, so a proxy login given once holds for every
    // later probe and run; the proxy settings are read afresh for every call.
    QNetworkAccessManager& network();
    void reportFailures(OwnerWindow owner, const QString& text) const;
    download::Clock& clock() const;
    static void preconnect(QNetworkAccessManager& network, const QUrl& url);

    const std::string probeUrl_;
    const Options options_;
    std::string title_;
    std::vector<Queued> queue_;
    std::unique_ptr<QNetworkAccessManager> network_;
    qint64 lastRunBytes_ = 0;
    std::vector<std::string> lastRunUnproven_;
};
