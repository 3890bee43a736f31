#pragma once
// The proxy logins of one run of the program. Answers a network manager's request for a
// proxy's credentials from what the person already gave for that proxy, and asks only when
// nothing was given yet or the proxy refused it. Kept in memory only: a password typed once
// is never stored anywhere. While the question is open it says so, because the person's
// typing time must not count against any deadline.
#include <QNetworkProxy>
#include <QObject>
#include <QString>
#include <functional>
#include <map>

#include "core/DownloadEngine.h"
#include "download/Clock.h"

class QAuthenticator;
class QNetworkAccessManager;

namespace download {

class ProxyLogins : public QObject {
    Q_OBJECT
  public:
    // `refused`: the proxy turned down the credentials `user` and `password` hold on entry.
    // False when the person declines; unset: every question is declined.
    using Ask = std::function<bool(OwnerWindow owner, const QNetworkProxy& proxy, bool refused,
                                   QString& user, QString& password)>;

    // Answers `network`'s requests from now on and lives as long as it.
    ProxyLogins(QNetworkAccessManager& network, Ask ask);

    // The window the question belongs to, for the calls that follow.
    void setOwner(OwnerWindow owner) { owner_ = owner; }

    // The logins answering `network`, or nullptr.
    static ProxyLogins* of(const QNetworkAccessManager& network);

  signals:
    void promptOpened();
    void promptClosed();

  private:
    struct Login {
        QString user;
        QString password;
    };
    void answer(const QNetworkProxy& proxy, QAuthenticator* authenticator);
    bool prompt(const QNetworkProxy& proxy, bool refused, Login& login);

    const Ask ask_;
    std::map<QString, Login> given_;  // by proxy type, host and port
    OwnerWindow owner_;
    int openPrompts_ = 0;
};

// Stops `timer` while a login question of `network` is open, then lets it run on with the
// time it had left.
void HoldWhileAsking(Alarm& timer, const QNetworkAccessManager& network);

}  // namespace download
