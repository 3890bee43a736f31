#include "download/QtDownloadEngine.h"

#include <QAuthenticator>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include "download/DownloadRun.h"
#include "download/ProgressWindow.h"
#include "download/ProxyLoginDialog.h"

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

std::unique_ptr<QNetworkAccessManager> QtDownloadEngine::makeNetwork(QWidget* owner) const {
    auto network = std::make_unique<QNetworkAccessManager>();
    const download::ProxyEnvironment environment =
        options_.proxyEnvironment.value_or(download::ProxyEnvironment::fromProcess());
    // The manager takes ownership of its factory.
    network->setProxyFactory(
        std::make_unique<download::EnvironmentProxyFactory>(environment).release());
    const auto ask = options_.askProxyCredentials ? options_.askProxyCredentials
                                                  : &download::ProxyLoginDialog::ask;
    QObject::connect(network.get(), &QNetworkAccessManager::proxyAuthenticationRequired,
                     network.get(),
                     [owner, ask](const QNetworkProxy& proxy, QAuthenticator* authenticator) {
                         QString user;
                         QString password;
                         // Left empty, Qt ends the transfer with a proxy error.
                         if (!ask(owner, proxy, user, password)) return;
                         authenticator->setUser(user);
                         authenticator->setPassword(password);
                     });
    return network;
}

int QtDownloadEngine::IsConnected() {
    const QUrl url(QString::fromStdString(probeUrl_));
    if (!url.isValid() || url.host().isEmpty()) return 0;
    const auto network = makeNetwork(nullptr);
    QNetworkRequest request(url);
    // Any answer counts, a redirect too.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* const reply = network->head(request);  // owned by the manager
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(options_.probeTimeout);
    // The windows keep painting; clicks wait until the answer is in.
    if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    const bool answered =
        reply->isFinished() && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    reply->disconnect(&loop);
    reply->abort();
    return answered ? 1 : 0;
}

int QtDownloadEngine::DownloadFiles(QWidget* owner) {
    if (queue_.empty()) return 1;
    const auto network = makeNetwork(owner);
    std::vector<download::QueuedFile> files;
    for (const auto& [url, destination] : queue_)
        files.push_back({QUrl(QString::fromStdString(url)), QString::fromStdString(destination)});
    const QString caption = QString::fromStdString(title_);
    download::ProgressWindow window(owner, caption);
    window.show();
    download::DownloadRun run(*network, files,
                              {options_.stallTimeout, options_.maxRedirects, options_.retry});
    const download::RunReport report = run.exec(window);
    lastRunBytes_ = report.bytesReceived;
    window.hide();
    if (!report.failures.empty()) reportFailures(owner, failureText(report.failures));
    return report.arrived == static_cast<int>(files.size()) ? 1 : 0;
}

void QtDownloadEngine::reportFailures(QWidget* owner, const QString& text) const {
    const QString title = QString::fromStdString(title_);
    if (options_.showFailures)
        options_.showFailures(owner, title, text);
    else
        QMessageBox::warning(owner, title, text);
}
