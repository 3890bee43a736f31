#include "download/ProxyLogins.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QPointer>
#include <algorithm>

namespace download {

namespace {

QString keyOf(const QNetworkProxy& proxy) {
    return QStringLiteral("%1 %2:%3")
        .arg(proxy.type())
        .arg(proxy.hostName().toLower())
        .arg(proxy.port());
}

// The forms worth sending, UTF-8 first; one when both give the same bytes.
std::vector<ProxyCredentials> formsOf(const ProxyCredentials& typed) {
    using Form = ProxyLogins::Form;
    std::vector<ProxyCredentials> forms{{ProxyLogins::onWire(typed.user, Form::Utf8),
                                         ProxyLogins::onWire(typed.password, Form::Utf8)},
                                        {ProxyLogins::onWire(typed.user, Form::Latin1),
                                         ProxyLogins::onWire(typed.password, Form::Latin1)}};
    if (forms[1] == forms[0]) forms.pop_back();
    return forms;
}

}  // namespace

ProxyLogins::ProxyLogins(QNetworkAccessManager& network, EngineUi::AskProxyCredentials ask)
    : QObject(&network), ask_(std::move(ask)) {
    connect(&network, &QNetworkAccessManager::proxyAuthenticationRequired, this,
            &ProxyLogins::answer);
}

ProxyLogins* ProxyLogins::of(const QNetworkAccessManager& network) {
    return network.findChild<ProxyLogins*>(QString(), Qt::FindDirectChildrenOnly);
}

void ProxyLogins::beginRun(OwnerWindow owner, bool mayAsk) {
    owner_ = owner;
    mayAsk_ = mayAsk;
    declined_.clear();
}

QString ProxyLogins::onWire(const QString& text, Form form) {
    if (form == Form::Utf8) return QString::fromLatin1(text.toUtf8());
    // What cannot be written in Latin-1 has no Latin-1 form: send the UTF-8 again.
    const QByteArray latin1 = text.toLatin1();
    return QString::fromLatin1(latin1) == text ? text : QString::fromLatin1(text.toUtf8());
}

QString ProxyLogins::fromWire(const QString& wire) {
    const QByteArray bytes = wire.toLatin1();
    if (QString::fromLatin1(bytes) != wire) return wire;
    const QString text = QString::fromUtf8(bytes);
    return onWire(text, Form::Utf8) == wire ? text : wire;
}

void ProxyLogins::answer(const QNetworkProxy& proxy, QAuthenticator* authenticator) {
    // Qt hands back the credentials it last sent on this connection: the ones refused.
    const ProxyCredentials tried{authenticator->user(), authenticator->password()};
    const QString key = keyOf(proxy);
    // Credentials in the proxy's URL count as given; Qt has sent them in UTF-8 already.
    if (!given_.count(key) && !proxy.user().isEmpty() && !proxy.password().isEmpty())
        given_[key].typed = {fromWire(proxy.user()), fromWire(proxy.password())};
    for (;;) {
        // Left empty, Qt ends the transfer with a proxy error.
        if (!waitWhileAsking() || declined_.contains(key)) return;
        const auto known = given_.find(key);
        if (known != given_.end()) {
            Login& login = known->second;
            const std::vector<ProxyCredentials> forms = formsOf(login.typed);
            if (std::find(forms.begin(), forms.end(), tried) != forms.end() &&
                std::find(login.refused.begin(), login.refused.end(), tried) == login.refused.end())
                login.refused.push_back(tried);
            for (const ProxyCredentials& form : forms) {
                if (std::find(login.refused.begin(), login.refused.end(), form) !=
                    login.refused.end())
                    continue;
                authenticator->setUser(form.user);
                authenticator->setPassword(form.password);
                return;
            }
        }
        if (!mayAsk_) return;
        open(key, proxy, known != given_.end() ? &known->second : nullptr);
    }
}

void ProxyLogins::open(const QString& key, const QNetworkProxy& proxy, const Login* refused) {
    if (!ask_) {
        declined_.insert(key);
        return;
    }
    asking_ = true;
    emit promptOpened();
    const QPointer<ProxyLogins> self(this);
    const QString user = refused ? refused->typed.user : fromWire(proxy.user());
    ask_(owner_, proxy, refused != nullptr, user,
         [self, key](std::optional<ProxyCredentials> given) {
             if (!self || !self->asking_) return;
             if (given)
                 self->given_[key] = Login{*given, {}};
             else
                 self->declined_.insert(key);
             self->asking_ = false;
             emit self->promptClosed();
             emit self->settled();
         });
}

// Every request that meets the proxy while the question is open waits here for its answer;
// the transfers' own events go on meanwhile. False when the program is quitting: every loop
// was told to end, and a new one would end at once.
bool ProxyLogins::waitWhileAsking() {
    constexpr int kSettled = 1;
    while (asking_) {
        QEventLoop loop;
        connect(this, &ProxyLogins::settled, &loop, [&loop] { loop.exit(kSettled); });
        if (loop.exec() != kSettled) return false;
    }
    return true;
}

namespace {

class HeldAlarm : public Alarm {
  public:
    HeldAlarm(std::unique_ptr<Alarm> inner, const ProxyLogins& logins)
        : inner_(std::move(inner)), logins_(&logins) {
        connect(inner_.get(), &Alarm::fired, this, &Alarm::fired);
        connect(&logins, &ProxyLogins::promptOpened, this, [this] {
            if (!inner_->isActive()) return;
            held_ = inner_->remaining();
            inner_->stop();
        });
        connect(&logins, &ProxyLogins::promptClosed, this, [this] {
            if (!held_) return;
            const auto left = *held_;
            held_.reset();
            inner_->start(left);
        });
    }
    void start(std::chrono::milliseconds delay) override {
        if (logins_ && logins_->asking()) {
            inner_->stop();
            held_ = delay;
            return;
        }
        held_.reset();
        inner_->start(delay);
    }
    void stop() override {
        held_.reset();
        inner_->stop();
    }
    bool isActive() const override { return held_ || inner_->isActive(); }
    std::chrono::milliseconds remaining() const override {
        return held_ ? *held_ : inner_->remaining();
    }

  private:
    std::unique_ptr<Alarm> inner_;
    QPointer<const ProxyLogins> logins_;
    std::optional<std::chrono::milliseconds> held_;
};

}  // namespace

std::unique_ptr<Alarm> HeldWhileAsking(std::unique_ptr<Alarm> alarm,
                                       const QNetworkAccessManager& network) {
    const ProxyLogins* const logins = ProxyLogins::of(network);
    if (!logins) return alarm;
    return std::make_unique<HeldAlarm>(std::move(alarm), *logins);
}

}  // namespace download
