#include "download/QtDownloadEngine.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#if QT_CONFIG(ssl)
#include <QSslConfiguration>
#endif
#include <QTimer>

#include "download/DownloadRun.h"
#include "download/FileTransfer.h"
#include "download/ProxyLogins.h"
#include "platform/LowDelay.h"

namespace {

constexpr int kSpareConnections = 4;

QString failureText(const download::RunReport& report) {
    QStringList lines;
    if (!report.failures.empty()) lines << QStringLiteral("These files could not be downloaded:");
    for (const auto& [file, why] : report.failures) {
        lines << QString() << QFileInfo(file.destination).fileName()
              << QStringLiteral("    from %1").arg(file.url.toDisplayString(QUrl::RemoveUserInfo))
              << QStringLiteral("    %1").arg(why);
    }
    for (const download::QueuedFile& file : report.unproven) {
        if (!lines.isEmpty()) lines << QString();
        lines << QStringLiteral(
                     "The server did not say how long %1 is, so it cannot be told whether it "
                     "arrived whole.")
                     .arg(QFileInfo(file.destination).fileName());
    }
    return lines.join('\n');
}

// The far end of the engine's connection for `url`: the proxy when one carries it, else the
// server; by address too when the URL names one, so no other connection of the process is
// touched.
platform::Peer peerOf(const QNetworkAccessManager& network, const QUrl& url) {
    const int defaultPort =
        url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443 : 80;
    QString host = url.host();
    int port = url.port(defaultPort);
    if (QNetworkProxyFactory* proxies = network.proxyFactory()) {
        const QList<QNetworkProxy> route = proxies->queryProxy(QNetworkProxyQuery(url));
        if (!route.isEmpty() && route.front().type() != QNetworkProxy::NoProxy &&
            route.front().type() != QNetworkProxy::DefaultProxy) {
            host = route.front().hostName();
            port = route.front().port();
        }
    }
    platform::Peer peer;
    peer.port = port;
    const QHostAddress address(host);
    if (!address.isNull()) peer.addresses.push_back(address.toString().toStdString());
    return peer;
}

void lowerDelayFor(const QNetworkAccessManager& network, const QUrl& url) {
    platform::DisableSmallPacketDelay({peerOf(network, url)});
}

}  // namespace

QtDownloadEngine::QtDownloadEngine(std::string probeUrl, Options options)
    : probeUrl_(std::move(probeUrl)), options_(std::move(options)) {}

QtDownloadEngine::~QtDownloadEngine() = default;

int QtDownloadEngine::SetOption(const std::string& name, const std::string& value) {
    if (name != "title") return 0;
    title_ = value;
    return 1;
}

void QtDownloadEngine::ClearFiles() {
    queue_.clear();
}

int QtDownloadEngine::AddFile(const std::string& url, const std::string& destination) {
    queue_.push_back({url, destination});
    return 1;
}

int QtDownloadEngine::AddScratchFile(const std::string& url, const std::string& destination) {
    queue_.push_back({url, destination, true});
    return 1;
}

QNetworkAccessManager& QtDownloadEngine::network() {
    if (!network_) {
        network_ = std::make_unique<QNetworkAccessManager>();
        // Right after the handshake, before the first request goes out on the connection.
        // Every TLS connection passes here, the ones opened later in a run too; plain HTTP/1.1
        // without pipelining never writes behind an unacknowledged write, so it needs nothing.
        QNetworkAccessManager* const manager = network_.get();
        QObject::connect(
            manager, &QNetworkAccessManager::encrypted, manager,
            [manager](QNetworkReply* reply) { lowerDelayFor(*manager, reply->url()); });
        // Qt hands a pre-connection's reply to nobody: each would stay with the manager, a few
        // for every probe, for the program's life.
        QObject::connect(manager, &QNetworkAccessManager::finished, manager,
                         [](QNetworkReply* reply) {
                             if (reply->url().scheme().startsWith(QLatin1String("preconnect-")))
                                 reply->deleteLater();
                         });
        // The manager owns the logins.
        new download::ProxyLogins(*network_, options_.ui.askProxyCredentials);
    }
    const download::ProxyEnvironment environment =
        options_.proxyEnvironment.value_or(download::ProxyEnvironment::fromProcess());
    // The manager takes ownership of its factory and drops the one before.
    network_->setProxyFactory(
        std::make_unique<download::EnvironmentProxyFactory>(environment).release());
    return *network_;
}

// Spare connections open beside the probe's, so that the run which follows (the catalogue's
// five lists) finds one warm HTTP/1.1 connection for each list. Pipelining could do without,
// but servers that mishandle it stall the requests behind the first (the test server here
// held them for its one-second keep-alive), and Qt sends at most two in a row anyway.
// Over TLS they open before the probe, all at once, so that every handshake overlaps the
// probe's own. They offer HTTP/1.1 only: Qt holds further connections of a host that may speak
// HTTP/2 until the first handshake has said which, a round trip or two later, and the lists
// then wait for the handshakes. The probe and the run's requests offer HTTP/1.1 only as well
// (engineRequest), or Qt would file them under another connection pool than the spares': over
// HTTP/2 five lists would take one round trip as well, not fewer.
void QtDownloadEngine::preconnect(QNetworkAccessManager& network, const QUrl& url) {
    // Through a proxy the spare connection would be one more login to ask for.
    QNetworkProxyFactory* proxies = network.proxyFactory();
    if (proxies != nullptr) {
        const QList<QNetworkProxy> route = proxies->queryProxy(QNetworkProxyQuery(url));
        if (!route.isEmpty() && route.front().type() != QNetworkProxy::NoProxy) return;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http")) {
        for (int spare = 0; spare < kSpareConnections; ++spare)
            network.connectToHost(url.host(), static_cast<quint16>(url.port(80)));
        return;
    }
#if QT_CONFIG(ssl)
    if (scheme == QLatin1String("https")) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setAllowedNextProtocols({QSslConfiguration::NextProtocolHttp1_1});
        // One more than over plain HTTP: the probe takes the first to be up.
        for (int spare = 0; spare <= kSpareConnections; ++spare)
            network.connectToHostEncrypted(url.host(), static_cast<quint16>(url.port(443)), tls);
    }
#endif
}

int QtDownloadEngine::IsConnected() {
    const QUrl url(QString::fromStdString(probeUrl_));
    if (!url.isValid() || url.host().isEmpty()) return 0;
    QNetworkAccessManager& network = this->network();
    // A proxy that asks for a login has answered: the probe asks nobody, and the run that
    // follows asks once.
    download::ProxyLogins::of(network)->beginRun({}, false);
    const bool tls = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    if (tls) preconnect(network, url);
    QNetworkRequest request = download::engineRequest(url);
    // Any answer counts, a redirect too.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    const std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> reply(network.head(request),
                                                                         [](QNetworkReply* ended) {
                                                                             ended->abort();
                                                                             ended->deleteLater();
                                                                         });
    // Over plain HTTP Qt opens a host's further connections only once its first one is up,
    // and then only when a request comes or goes: the probe's request leaving is that moment.
    if (!tls)
        QObject::connect(
            reply.get(), &QNetworkReply::requestSent, &network,
            [&network, url] { preconnect(network, url); }, Qt::SingleShotConnection);
    QEventLoop loop;
    const auto deadline = download::HeldWhileAsking(clock().alarm(), network);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(deadline.get(), &download::Alarm::fired, &loop, &QEventLoop::quit);
    deadline->start(options_.probeTimeout);
    // The windows keep painting; clicks wait until the answer is in.
    if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    // The probe's connections, and the spare ones beside it, serve the catalogue next.
    lowerDelayFor(network, url);
    // A server whose certificate we refuse has answered too: online, so the download that
    // follows can say that it was the certificate instead of the user seeing only "Offline".
    const bool answered = reply->isFinished() &&
                          (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid() ||
                           reply->error() == QNetworkReply::SslHandshakeFailedError ||
                           reply->error() == QNetworkReply::ProxyAuthenticationRequiredError);
    return answered ? 1 : 0;
}

int QtDownloadEngine::DownloadFiles(OwnerWindow owner) {
    if (queue_.empty()) return 1;
    QNetworkAccessManager& network = this->network();
    // Each run asks at most once for each proxy, whatever an earlier run was told.
    download::ProxyLogins::of(network)->beginRun(owner, true);
    std::vector<download::QueuedFile> files;
    for (const auto& [url, destination, scratch] : queue_)
        files.push_back(
            {QUrl(QString::fromStdString(url)), QString::fromStdString(destination), scratch});
    const QString caption = QString::fromStdString(title_);
    download::RunLimits limits{options_.stallTimeout, options_.maxRedirects, options_.retry};
    limits.slowestBytesPerSecond = options_.slowestBytesPerSecond;
    limits.rateWindow = options_.rateWindow;
    limits.clock = &clock();
    limits.syncStretch = options_.syncStretch;
    limits.overlap = options_.overlap;
    download::DownloadRun run(network, files, limits);
    download::RunReport report;
    {
        // Gone before any message: a hidden window would still be listed to assistive tools.
        std::unique_ptr<download::RunProgress> progress;
        if (options_.ui.showProgress)
            progress = options_.ui.showProgress(owner, caption, [&run] { run.cancel(); });
        report = run.exec(progress.get());
    }
    lastRunBytes_ = report.bytesReceived;
    lastRunUnproven_.clear();
    for (const download::QueuedFile& file : report.unproven)
        lastRunUnproven_.push_back(file.destination.toStdString());
    if (!report.failures.empty() || !report.unproven.empty())
        reportFailures(owner, failureText(report));
    return report.arrived == static_cast<int>(files.size()) ? 1 : 0;
}

int QtDownloadEngine::heldObjects() const {
    return network_ ? int(network_->findChildren<QObject*>().size()) : 0;
}

download::Clock& QtDownloadEngine::clock() const {
    return download::clockOr(options_.clock);
}

void QtDownloadEngine::reportFailures(OwnerWindow owner, const QString& text) const {
    if (options_.ui.showFailures)
        options_.ui.showFailures(owner, QString::fromStdString(title_), text);
}
