#pragma once
// The proxy logins of one engine. Answers a network manager's request for a proxy's
// credentials from what the person already gave for that proxy, and asks only when nothing
// was given yet or the proxy refused it. Kept in memory only: a password typed once is never
// stored anywhere.
//
// Qt asks from inside a blocking call of its network thread, once for every connection that
// met the proxy's 407, and the credentials must be in place when the slot returns. So one
// question is open at a time: the request that opened it, and every request arriving while it
// is open, wait in an event loop of their own until it is answered and all take that answer.
// A Cancel holds for the rest of the run: the other transfers fail at once with the proxy's
// refusal. While the question is open the alarms made with HeldWhileAsking stand still.
#include <QAuthenticator>
#include <QNetworkProxy>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "core/DownloadEngine.h"
#include "download/Clock.h"
#include "download/EngineUi.h"

class QNetworkAccessManager;

namespace download {

class ProxyLogins : public QObject {
    Q_OBJECT
  public:
    // Answers `network`'s requests from now on and lives as long as it. Unset `ask`: every
    // question is declined.
    ProxyLogins(QNetworkAccessManager& network, EngineUi::AskProxyCredentials ask);

    // A new run, whose questions belong to `owner`: a proxy declined before may be asked
    // again. Without `mayAsk` only logins already given are used.
    void beginRun(OwnerWindow owner, bool mayAsk);
    bool asking() const { return asking_; }

    // The logins answering `network`, or nullptr.
    static ProxyLogins* of(const QNetworkAccessManager& network);

    // What goes to the proxy for the typed `text`, in `form`: the UTF-8 bytes that browsers
    // send, or Latin-1 as older proxies read it. Qt sends the Latin-1 of what it is given,
    // so UTF-8 is handed over as the string whose Latin-1 bytes are the UTF-8 bytes.
    enum class Form { Utf8, Latin1 };
    static QString onWire(const QString& text, Form form);
    // The text of a UTF-8 wire form; anything else as it is.
    static QString fromWire(const QString& wire);

  signals:
    void promptOpened();
    void promptClosed();
    void settled();

  private:
    struct Login {
        ProxyCredentials typed;
        std::vector<ProxyCredentials> refused;  // forms the proxy turned down
    };
    void answer(const QNetworkProxy& proxy, QAuthenticator* authenticator);
    void open(const QString& key, const QNetworkProxy& proxy, const Login* refused);
    bool waitWhileAsking();

    const EngineUi::AskProxyCredentials ask_;
    std::map<QString, Login> given_;  // by proxy type, host and port
    QSet<QString> declined_;          // in this run
    OwnerWindow owner_;
    bool mayAsk_ = true;
    bool asking_ = false;
};

// `alarm`, but standing still while a login question of `network` is open: started then, it
// begins to run when the question closes; running, it goes on afterwards with the time it
// had left.
std::unique_ptr<Alarm> HeldWhileAsking(std::unique_ptr<Alarm> alarm,
                                       const QNetworkAccessManager& network);

}  // namespace download
