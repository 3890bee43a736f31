// The engine against Debian's own squid with a Basic login, started by the test on a port
// and folder of its own. The site lies behind a name only squid resolves: Qt never sends a
// loopback address through a proxy.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <filesystem>

#include "download/QtDownloadEngine.h"
#include "support/EngineOptions.h"
#include "support/LocalHttpServer.h"
#include "support/Poll.h"
#include "support/TempDir.h"

namespace {

constexpr auto kSquid = "/usr/sbin/squid";
constexpr auto kBasicAuth = "/usr/lib/squid/basic_ncsa_auth";
constexpr auto kHtpasswd = "/usr/bin/htpasswd";
constexpr auto kUser = "josé";
constexpr auto kPassword = "sécret🦊";

int FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class Squid {
  public:
    // Empty when it started; else why not.
    std::string start(const std::string& siteHost) {
        for (const char* program : {kSquid, kBasicAuth, kHtpasswd})
            if (!std::filesystem::exists(program))
                return std::string(program) +
                       " is not installed (apt-get install squid apache2-utils)";
        const std::string dir = folder_.path();
        QProcess htpasswd;
        htpasswd.start(kHtpasswd, {"-b", "-c", QString::fromStdString(dir + "/passwd"),
                                   QString::fromUtf8(kUser), QString::fromUtf8(kPassword)});
        if (!htpasswd.waitForFinished() || htpasswd.exitCode() != 0) return "htpasswd failed";
        folder_.Write("hosts", "127.0.0.1 " + siteHost + "\n");
        port_ = FreePort();
        folder_.Write("squid.conf", "http_port 127.0.0.1:" + std::to_string(port_) + "\n" +
                                        "pid_filename " + dir + "/squid.pid\n" + "cache_log " +
                                        dir + "/cache.log\n" + "access_log " + dir +
                                        "/access.log\n" + "hosts_file " + dir + "/hosts\n" +
                                        "coredump_dir " + dir + "\n" +
                                        "cache deny all\n"
                                        "cache_mem 8 MB\n"
                                        "netdb_filename none\n"
                                        "shutdown_lifetime 0 seconds\n" +
                                        "auth_param basic program " + kBasicAuth + " " + dir +
                                        "/passwd\n"
                                        "auth_param basic realm corvalite\n"
                                        "acl login proxy_auth REQUIRED\n"
                                        "http_access allow login\n"
                                        "http_access deny all\n");
        // As root squid works as the proxy user, which must reach its folder.
        if (geteuid() == 0) std::filesystem::permissions(dir, std::filesystem::perms::all);
        squid_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        squid_.start(kSquid, {"-N", "-f", QString::fromStdString(dir + "/squid.conf")});
        if (!squid_.waitForStarted()) return "squid did not start";
        const bool up = testsupport::PollUntil([this] {
            if (squid_.state() != QProcess::Running) return true;
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, quint16(port_));
            return socket.waitForConnected(200);
        });
        if (!up || squid_.state() != QProcess::Running)
            return "squid ended at start: " + folder_.Read("cache.log");
        return {};
    }
    ~Squid() {
        if (squid_.state() == QProcess::NotRunning) return;
        squid_.terminate();
        if (!squid_.waitForFinished()) squid_.kill();
        squid_.waitForFinished();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::string accessLog() const {
        return folder_.Exists("access.log") ? folder_.Read("access.log") : "";
    }

  private:
    TempDir folder_;
    QProcess squid_;
    int port_ = 0;
};

struct Harness {
    testsupport::LocalHttpServer site;
    Squid squid;
    TempDir dir;
    testsupport::ShownFailures shown;
    int prompts = 0;

    std::string siteUrl(const std::string& path) const {
        return "http://vendor.corvalite.test:" + std::to_string(site.port()) + path;
    }
    QtDownloadEngine::Options options() {
        auto options = testsupport::EngineOptions(shown);
        options.proxyEnvironment = download::ProxyEnvironment{squid.url(), "", "", ""};
        return options;
    }
};

#define START_SQUID(h)                                                                  \
    if (const std::string why = (h).squid.start("vendor.corvalite.test"); !why.empty()) \
    GTEST_SKIP() << why

TEST(DownloadSquid, AUtf8LoginGetsTheFileWithOneQuestion) {
    Harness h;
    START_SQUID(h);
    h.site.serveFile("/download/php/list.php", "PHP-5.3.29.exe\n");
    auto options = h.options();
    // Asked again, the person gives up.
    options.ui.askProxyCredentials = [&h](OwnerWindow, const QNetworkProxy&, bool refused,
                                          const QString&, auto answered) {
        ++h.prompts;
        if (refused) return answered(std::nullopt);
        answered(
            download::ProxyCredentials{QString::fromUtf8(kUser), QString::fromUtf8(kPassword)});
    };
    QtDownloadEngine engine(h.siteUrl("/"), options);
    engine.AddFile(h.siteUrl("/download/php/list.php"), h.dir.folder() + "list.txt");

    EXPECT_EQ(engine.IsConnected(), 1);
    EXPECT_EQ(engine.DownloadFiles({}), 1) << h.shown.text.toStdString();

    EXPECT_EQ(h.prompts, 1);
    EXPECT_EQ(h.dir.Read("list.txt"), "PHP-5.3.29.exe\n");
    EXPECT_NE(h.squid.accessLog().find("jos%c3%a9"), std::string::npos) << h.squid.accessLog();

    // The same login in the proxy's URL, percent-encoded UTF-8, needs no question.
    options.proxyEnvironment->httpProxy = "http://jos%C3%A9:s%C3%A9cret%F0%9F%A6%8A@" +
                                          h.squid.url().substr(std::string("http://").size());
    QtDownloadEngine fromUrl(h.siteUrl("/"), options);
    fromUrl.AddFile(h.siteUrl("/download/php/list.php"), h.dir.folder() + "again.txt");
    EXPECT_EQ(fromUrl.DownloadFiles({}), 1) << h.shown.text.toStdString();
    EXPECT_EQ(h.prompts, 1);
    EXPECT_EQ(h.dir.Read("again.txt"), "PHP-5.3.29.exe\n");
}

TEST(DownloadSquid, ACancelWithSeveralListsInFlightAsksOnce) {
    Harness h;
    START_SQUID(h);
    const std::vector<std::string> lists{"list.txt", "list_d.txt", "list_v.txt", "list_m.txt",
                                         "list_u.txt"};
    for (const std::string& list : lists) h.site.serveFile("/download/" + list, list);
    auto options = h.options();
    options.ui.askProxyCredentials = [&h](OwnerWindow, const QNetworkProxy&, bool, const QString&,
                                          auto answered) {
        ++h.prompts;
        QTimer::singleShot(0, [answered] { answered(std::nullopt); });
    };
    QtDownloadEngine engine(h.siteUrl("/"), options);
    for (const std::string& list : lists)
        engine.AddFile(h.siteUrl("/download/" + list), h.dir.folder() + list);

    EXPECT_EQ(engine.IsConnected(), 1);
    EXPECT_EQ(engine.DownloadFiles({}), 0);

    EXPECT_EQ(h.prompts, 1);
    EXPECT_EQ(h.shown.text.count("the proxy requires a user name and password"), 5)
        << h.shown.text.toStdString();
    for (const std::string& list : lists) EXPECT_FALSE(h.dir.Exists(list)) << list;
}

}  // namespace
