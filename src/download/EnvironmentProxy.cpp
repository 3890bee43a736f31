#include "download/EnvironmentProxy.h"

#include <QHostAddress>
#include <QRegularExpression>

#include "download/ProxyLogins.h"
#include "platform/Environment.h"

namespace download {

namespace {

// In UTF-8: a user name in a proxy URL may be written in any script.
std::string variable(const char* lower, const char* upper) {
    if (auto value = platform::EnvironmentVariable(lower); value && !value->empty()) return *value;
    if (upper)
        if (auto value = platform::EnvironmentVariable(upper); value && !value->empty())
            return *value;
    return {};
}

struct NoProxyEntry {
    QString host;  // lower case, without brackets, leading "*." or "."
    int port = -1;
};

NoProxyEntry splitEntry(QString entry) {
    NoProxyEntry result;
    if (entry.startsWith('[')) {
        const qsizetype close = entry.indexOf(']');
        if (close < 0) return {entry.mid(1), -1};
        result.host = entry.mid(1, close - 1);
        if (entry.mid(close + 1).startsWith(':')) result.port = entry.mid(close + 2).toInt();
        return result;
    }
    // One colon is a port; several make a bare IPv6 address.
    if (entry.count(':') == 1 && !entry.contains('/')) {
        const qsizetype colon = entry.indexOf(':');
        result.port = entry.mid(colon + 1).toInt();
        entry.truncate(colon);
    }
    if (entry.startsWith("*.")) entry.remove(0, 2);
    if (entry.startsWith('.')) entry.remove(0, 1);
    result.host = entry;
    return result;
}

bool hostMatches(const QString& host, const QString& pattern) {
    if (pattern.contains('/')) {
        const auto subnet = QHostAddress::parseSubnet(pattern);
        const QHostAddress address(host);
        return !address.isNull() && subnet.second >= 0 && address.isInSubnet(subnet);
    }
    const QHostAddress hostAddress(host);
    const QHostAddress patternAddress(pattern);
    if (!hostAddress.isNull() && !patternAddress.isNull())
        return hostAddress.isEqual(patternAddress);
    return host == pattern || host.endsWith('.' + pattern);
}

}  // namespace

ProxyEnvironment ProxyEnvironment::fromProcess() {
    return {variable("http_proxy", nullptr), variable("https_proxy", "HTTPS_PROXY"),
            variable("all_proxy", "ALL_PROXY"), variable("no_proxy", "NO_PROXY")};
}

QNetworkProxy parseProxy(const QString& text) {
    QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return QNetworkProxy::NoProxy;
    if (!trimmed.contains("://")) trimmed.prepend("http://");
    const QUrl url(trimmed);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty()) return QNetworkProxy::NoProxy;
    QNetworkProxy::ProxyType type = QNetworkProxy::NoProxy;
    if (scheme == "http") type = QNetworkProxy::HttpProxy;
    if (scheme == "socks5" || scheme == "socks5h") type = QNetworkProxy::Socks5Proxy;
    if (type == QNetworkProxy::NoProxy) return QNetworkProxy::NoProxy;
    constexpr int kCommonProxyPort = 1080;
    QNetworkProxy proxy(type, url.host(), static_cast<quint16>(url.port(kCommonProxyPort)));
    proxy.setUser(url.userName(QUrl::FullyDecoded));
    proxy.setPassword(url.password(QUrl::FullyDecoded));
    return proxy;
}

bool bypassesProxy(const QUrl& url, const QString& noProxy) {
    const QString host = url.host().toLower();
    const int port = url.port(url.scheme() == "https" ? 443 : 80);
    static const QRegularExpression separators("[,\\s]+");
    for (const QString& raw : noProxy.toLower().split(separators, Qt::SkipEmptyParts)) {
        if (raw == "*") return true;
        const NoProxyEntry entry = splitEntry(raw);
        if (entry.host.isEmpty() || (entry.port > 0 && entry.port != port)) continue;
        if (hostMatches(host, entry.host)) return true;
    }
    return false;
}

bool isLoopback(const QUrl& url) {
    const QString host = url.host().toLower();
    return host == "localhost" || host.endsWith(".localhost") || QHostAddress(host).isLoopback();
}

QNetworkProxy proxyForUrl(const QUrl& url, const ProxyEnvironment& environment) {
    // A proxy cannot reach this machine's loopback, whatever no_proxy says.
    if (isLoopback(url) || bypassesProxy(url, QString::fromStdString(environment.noProxy)))
        return QNetworkProxy::NoProxy;
    const std::string& specific =
        url.scheme().toLower() == "https" ? environment.httpsProxy : environment.httpProxy;
    return parseProxy(QString::fromStdString(specific.empty() ? environment.allProxy : specific));
}

QList<QNetworkProxy> EnvironmentProxyFactory::queryProxy(const QNetworkProxyQuery& query) {
    if (!systemDecides_ || environment_.namesProxy() || isLoopback(query.url())) {
        QNetworkProxy proxy = proxyForUrl(query.url(), environment_);
        // Qt sends the URL's login itself, in the Latin-1 of what it holds: UTF-8 first.
        proxy.setUser(ProxyLogins::onWire(proxy.user(), ProxyLogins::Form::Utf8));
        proxy.setPassword(ProxyLogins::onWire(proxy.password(), ProxyLogins::Form::Utf8));
        return {proxy};
    }
    // Qt asks WinHTTP: the manual proxy and its bypass list, a PAC script, WPAD.
    QList<QNetworkProxy> proxies = systemProxyForQuery(query);
    if (proxies.isEmpty()) proxies.append(QNetworkProxy::NoProxy);
    return proxies;
}

}  // namespace download
