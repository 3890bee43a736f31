#include "download/ProxyLogins.h"

#include <QAuthenticator>
#include <QNetworkAccessManager>

#include <memory>

namespace download {

namespace {

QString keyOf(const QNetworkProxy& proxy) {
    return QStringLiteral("%1 %2:%3")
        .arg(proxy.type())
        .arg(proxy.hostName().toLower())
        .arg(proxy.port());
}

}  // namespace

ProxyLogins::ProxyLogins(QNetworkAccessManager& network, Ask ask)
    : QObject(&network), ask_(std::move(ask)) {
    connect(&network, &QNetworkAccessManager::proxyAuthenticationRequired, this,
            &ProxyLogins::answer);
}

ProxyLogins* ProxyLogins::of(const QNetworkAccessManager& network) {
    return network.findChild<ProxyLogins*>(QString(), Qt::FindDirectChildrenOnly);
}

void ProxyLogins::answer(const QNetworkProxy& proxy, QAuthenticator* authenticator) {
    // Qt hands back the credentials it last sent on this connection; none on a first try.
    const Login tried{authenticator->user(), authenticator->password()};
    const QString key = keyOf(proxy);
    const auto known = given_.find(key);
    const bool knownUntried = known != given_.end() && (known->second.user != tried.user ||
                                                        known->second.password != tried.password);
    Login login = knownUntried ? known->second : tried;
    if (!knownUntried) {
        if (login.user.isEmpty()) login.user = proxy.user();
        // Left empty, Qt ends the transfer with a proxy error.
        if (!prompt(proxy, !tried.user.isEmpty(), login)) return;
        given_[key] = login;
    }
    authenticator->setUser(login.user);
    authenticator->setPassword(login.password);
}

bool ProxyLogins::prompt(const QNetworkProxy& proxy, bool refused, Login& login) {
    if (openPrompts_++ == 0) emit promptOpened();
    login.password.clear();
    const bool given = ask_ && ask_(owner_, proxy, refused, login.user, login.password);
    if (--openPrompts_ == 0) emit promptClosed();
    return given;
}

void HoldWhileAsking(Alarm& timer, const QNetworkAccessManager& network) {
    const ProxyLogins* const logins = ProxyLogins::of(network);
    if (!logins) return;
    auto left = std::make_shared<int>(-1);
    QObject::connect(logins, &ProxyLogins::promptOpened, &timer, [&timer, left] {
        *left = timer.isActive() ? int(timer.remaining().count()) : -1;
        timer.stop();
    });
    QObject::connect(logins, &ProxyLogins::promptClosed, &timer, [&timer, left] {
        if (*left >= 0) timer.start(std::chrono::milliseconds(*left));
        *left = -1;
    });
}

}  // namespace download
