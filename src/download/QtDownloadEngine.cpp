#include "download/QtDownloadEngine.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "download/DownloadRun.h"
#include "download/ProgressWindow.h"
#include "download/ProxyLoginDialog.h"
#include "download/ProxyLogins.h"

namespace {

QString failureText(const std::vector<download::FailedFile>& failures) {
    QStringList lines{QStringLiteral("These files could not be downloaded:")};
    for (const auto& [file, why] : failures) {
        lines << QString() << QFileInfo(file.destination).fileName()
              << QStringLiteral("    from %1").arg(file.url.toDisplayString(QUrl::RemoveUserInfo))
              << QStringLiteral("    %1").arg(why);
    }
    return lines.join('\n');
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

QNetworkAccessManager& QtDownloadEngine::network(QWidget* owner) {
    if (!network_) {
        network_ = std::make_unique<QNetworkAccessManager>();
        // The manager owns the logins.
        new download::ProxyLogins(*network_, options_.askProxyCredentials
                                                 ? options_.askProxyCredentials
                                                 : &download::ProxyLoginDialog::ask);
    }
    const download::ProxyEnvironment environment =
        options_.proxyEnvironment.value_or(download::ProxyEnvironment::fromProcess());
    // The manager takes ownership of its factory and drops the one before.
    network_->setProxyFactory(
        std::make_unique<download::EnvironmentProxyFactory>(environment).release());
    download::ProxyLogins::of(*network_)->setOwner(owner);
    return *network_;
}

int QtDownloadEngine::IsConnected() {
    const QUrl url(QString::fromStdString(probeUrl_));
    if (!url.isValid() || url.host().isEmpty()) return 0;
    QNetworkAccessManager& network = this->network(nullptr);
    QNetworkRequest request(url);
    // Any answer counts, a redirect too.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    const std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> reply(network.head(request),
                                                                         [](QNetworkReply* ended) {
                                                                             ended->abort();
                                                                             ended->deleteLater();
                                                                         });
    QEventLoop loop;
    const auto deadline = clock().alarm();
    // A person typing a proxy login is not a server that does not answer.
    download::HoldWhileAsking(*deadline, network);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(deadline.get(), &download::Alarm::fired, &loop, &QEventLoop::quit);
    deadline->start(options_.probeTimeout);
    // The windows keep painting; clicks wait until the answer is in.
    if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    // A server whose certificate we refuse has answered too: online, so the download that
    // follows can say that it was the certificate instead of the user seeing only "Offline".
    const bool answered = reply->isFinished() &&
                          (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid() ||
                           reply->error() == QNetworkReply::SslHandshakeFailedError);
    return answered ? 1 : 0;
}

int QtDownloadEngine::DownloadFiles(QWidget* owner) {
    if (queue_.empty()) return 1;
    QNetworkAccessManager& network = this->network(owner);
    std::vector<download::QueuedFile> files;
    for (const auto& [url, destination] : queue_)
        files.push_back({QUrl(QString::fromStdString(url)), QString::fromStdString(destination)});
    const QString caption = QString::fromStdString(title_);
    download::RunReport report;
    {
        // Gone before any message: a hidden window would still be listed to assistive tools.
        download::ProgressWindow window(owner, caption, options_.windowClock);
        window.show();
        download::RunLimits limits{options_.stallTimeout, options_.maxRedirects, options_.retry};
        limits.slowestBytesPerSecond = options_.slowestBytesPerSecond;
        limits.rateWindow = options_.rateWindow;
        limits.clock = &clock();
        download::DownloadRun run(network, files, limits);
        report = run.exec(window);
    }
    lastRunBytes_ = report.bytesReceived;
    if (!report.failures.empty()) reportFailures(owner, failureText(report.failures));
    return report.arrived == static_cast<int>(files.size()) ? 1 : 0;
}

download::Clock& QtDownloadEngine::clock() const {
    return options_.clock ? *options_.clock : download::systemClock();
}

void QtDownloadEngine::reportFailures(QWidget* owner, const QString& text) const {
    const QString title = QString::fromStdString(title_);
    if (options_.showFailures)
        options_.showFailures(owner, title, text);
    else
        QMessageBox::warning(owner, title, text);
}
