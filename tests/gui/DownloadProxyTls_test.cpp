// The engine behind a proxy from the environment (the local server plays the proxy), the
// proxy's credentials prompt, and TLS verification against a self-signed certificate.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <cstdlib>

#include "download/QtDownloadEngine.h"
#include "download/ui/ProxyLoginDialog.h"
#include "support/EngineOptions.h"
#include "support/LocalHttpServer.h"
#include "support/ManualClock.h"
#include "support/ModalDriver.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;
using testsupport::CannedReply;
using testsupport::LocalHttpServer;
using testsupport::ReceivedRequest;

namespace {

constexpr auto kRemoteFile = "http://files.corvalite.invalid/download/list.txt";

struct Harness {
    LocalHttpServer proxy;
    TempDir dir;
    testsupport::ShownFailures shown;
    int prompts = 0;

    QtDownloadEngine::Options options(std::string noProxy = "") {
        auto options = testsupport::EngineOptions(shown);
        options.stallTimeout = 5s;
        options.probeTimeout = 2s;
        options.proxyEnvironment = download::ProxyEnvironment{proxy.baseUrl(), "", "", noProxy};
        return options;
    }

    // The proxy passes requests on only with jo's credentials.
    void requireCredentials() {
        proxy.serveResponder("*", [](const ReceivedRequest& request) {
            if (request.header("Proxy-Authorization") == "Basic am86c2VjcmV0")  // jo:secret
                return CannedReply{200, "via proxy: " + request.target, "text/plain", {}};
            return CannedReply{
                407, "who are you", "text/plain", {{"Proxy-Authenticate", "Basic realm=\"corp\""}}};
        });
    }
};

TEST(DownloadProxy, FetchesThroughTheEnvironmentsProxy) {
    Harness h;
    h.proxy.serveResponder("*", [](const ReceivedRequest& request) {
        return CannedReply{200, "via proxy: " + request.target, "text/plain", {}};
    });
    QtDownloadEngine engine("http://catalogue.corvalite.invalid/", h.options());
    engine.AddFile(kRemoteFile, h.dir.folder() + "list.txt");

    EXPECT_EQ(engine.DownloadFiles({}), 1);

    EXPECT_EQ(h.dir.Read("list.txt"), std::string("via proxy: ") + kRemoteFile);
    EXPECT_EQ(h.proxy.requestedTargets(), (std::vector<std::string>{kRemoteFile}));
    EXPECT_EQ(engine.IsConnected(), 1) << "the catalogue answered through the proxy";
}

TEST(DownloadProxy, LoopbackIsReachedDirectly) {
    Harness h;
    LocalHttpServer direct;
    direct.serveFile("/file", "direct");
    QtDownloadEngine engine(direct.url("/"), h.options());
    engine.AddFile(direct.url("/file"), h.dir.folder() + "file.txt");

    EXPECT_EQ(engine.DownloadFiles({}), 1);

    EXPECT_EQ(h.dir.Read("file.txt"), "direct");
    EXPECT_TRUE(h.proxy.requests().empty());
}

TEST(DownloadProxy, HostsInNoProxyAreLookedUpDirectly) {
    Harness h;
    QtDownloadEngine engine("http://catalogue.corvalite.invalid/", h.options(".corvalite.invalid"));
    engine.AddFile(kRemoteFile, h.dir.folder() + "list.txt");

    EXPECT_EQ(engine.DownloadFiles({}), 0);

    EXPECT_TRUE(h.proxy.requests().empty());
    EXPECT_TRUE(h.shown.text.contains("host files.corvalite.invalid not found"))
        << h.shown.text.toStdString();
}

TEST(DownloadProxy, AsksForTheProxysCredentialsAndUsesThem) {
    Harness h;
    h.requireCredentials();
    auto options = h.options();
    options.ui.askProxyCredentials = [&h](OwnerWindow, const QNetworkProxy& proxy, bool,
                                          QString& user, QString& password) {
        ++h.prompts;
        EXPECT_EQ(proxy.port(), h.proxy.port());
        user = "jo";
        password = "secret";
        return true;
    };
    QtDownloadEngine engine("http://catalogue.corvalite.invalid/", options);
    engine.AddFile(kRemoteFile, h.dir.folder() + "one.txt");
    engine.AddFile(kRemoteFile, h.dir.folder() + "two.txt");

    EXPECT_EQ(engine.DownloadFiles({}), 1);

    EXPECT_EQ(h.prompts, 1) << "asked once per run";
    EXPECT_EQ(h.dir.Read("two.txt"), std::string("via proxy: ") + kRemoteFile);
    EXPECT_EQ(h.shown.count, 0);
}

TEST(DownloadProxy, DecliningThePromptFailsTheFileWithAReason) {
    Harness h;
    h.requireCredentials();
    auto options = h.options();
    options.ui.askProxyCredentials = [](OwnerWindow, const QNetworkProxy&, bool, QString&,
                                        QString&) { return false; };
    QtDownloadEngine engine("http://catalogue.corvalite.invalid/", options);
    engine.AddFile(kRemoteFile, h.dir.folder() + "list.txt");

    EXPECT_EQ(engine.DownloadFiles({}), 0);

    EXPECT_FALSE(h.dir.Exists("list.txt"));
    ASSERT_EQ(h.shown.count, 1);
    EXPECT_TRUE(h.shown.text.contains("list.txt")) << h.shown.text.toStdString();
    EXPECT_TRUE(h.shown.text.contains("the proxy requires a user name and password"))
        << h.shown.text.toStdString();
}

TEST(DownloadProxy, TheDefaultPromptIsADialogThatAsksAgainWhenRefused) {
    Harness h;
    h.requireCredentials();
    QtDownloadEngine engine("http://catalogue.corvalite.invalid/", h.options());
    engine.AddFile(kRemoteFile, h.dir.folder() + "list.txt");
    const auto answer = [](download::ProxyLoginDialog& dialog, const char* password) {
        QTest::keyClicks(dialog.findChild<QLineEdit*>("PasswordEdit"), password);
        dialog.accept();
    };
    const QString refusal =
        QStringLiteral("The proxy 127.0.0.1:%1 did not accept").arg(h.proxy.port());
    WhenModal<download::ProxyLoginDialog>([&](download::ProxyLoginDialog& dialog) {
        dialog.findChild<QLineEdit*>("UserEdit")->setText("jo");
        WhenModal<download::ProxyLoginDialog>([&](download::ProxyLoginDialog& again) {
            EXPECT_TRUE(again.findChild<QLabel*>("QuestionLabel")->text().startsWith(refusal));
            EXPECT_EQ(again.user(), "jo");
            answer(again, "secret");
        });
        answer(dialog, "wrong");
    });

    EXPECT_EQ(engine.DownloadFiles({}), 1);
    EXPECT_EQ(h.dir.Read("list.txt"), std::string("via proxy: ") + kRemoteFile);
}

// The person takes far longer than any deadline over the login and gets the password wrong
// once; the probe and the transfers wait for them, and within one run nobody asks twice.
// Their typing time passes on a clock that fires the deadlines the moment it passes them.
TEST(DownloadProxy, ALoginTakesItsTimeAndHoldsForTheRestOfTheRun) {
    Harness h;
    h.requireCredentials();
    testsupport::ManualClock clock;
    auto options = h.options();
    options.clock = &clock;
    options.probeTimeout = 300ms;
    options.stallTimeout = 300ms;
    int prompts = 0;
    options.ui.askProxyCredentials = [&](OwnerWindow, const QNetworkProxy& proxy, bool refused,
                                         QString& user, QString& password) {
        ++prompts;
        EXPECT_EQ(proxy.port(), h.proxy.port());
        EXPECT_EQ(user, refused ? "jo" : "");
        clock.advance(1s);  // the person typing
        user = "jo";
        password = refused ? "secret" : "wrong";
        return true;
    };
    QtDownloadEngine engine("http://catalogue.corvalite.invalid/", options);
    engine.AddFile(kRemoteFile, h.dir.folder() + "list.txt");

    EXPECT_EQ(engine.IsConnected(), 1);
    EXPECT_EQ(prompts, 2) << "asked, refused, asked again";
    EXPECT_EQ(engine.DownloadFiles({}), 1);
    EXPECT_EQ(engine.IsConnected(), 1);
    EXPECT_EQ(prompts, 2) << "the login given holds for the run";

    QtDownloadEngine nextRun("http://catalogue.corvalite.invalid/", options);
    nextRun.AddFile(kRemoteFile, h.dir.folder() + "again.txt");
    EXPECT_EQ(nextRun.DownloadFiles({}), 1);
    EXPECT_EQ(prompts, 4);
    EXPECT_EQ(h.dir.Read("again.txt"), std::string("via proxy: ") + kRemoteFile);
    EXPECT_EQ(h.shown.count, 0) << h.shown.text.toStdString();
}

// A certificate nobody signed: the engine must refuse it, and say so.
TEST(DownloadTls, ASelfSignedCertificateIsRefused) {
    TempDir dir;
    const std::string key = dir.folder() + "key.pem";
    const std::string cert = dir.folder() + "cert.pem";
    const std::string command =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "
        "/CN=127.0.0.1 -keyout '" +
        key + "' -out '" + cert + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) GTEST_SKIP() << "openssl cannot make a certificate";
    LocalHttpServer server(cert, key);
    server.serveFile("/file", "secret");
    const std::string destination = dir.Write("file.txt", "older");
    testsupport::ShownFailures shown;
    QtDownloadEngine engine(server.url("/"), testsupport::EngineOptions(shown));
    engine.AddFile(server.url("/file"), destination);

    EXPECT_EQ(engine.DownloadFiles({}), 0);

    EXPECT_EQ(dir.Read("file.txt"), "older");
    EXPECT_TRUE(shown.text.contains("TLS error: The certificate is self-signed"))
        << shown.text.toStdString();
    EXPECT_EQ(server.requestCount("/file"), 0);
    // Online nonetheless, so the refused certificate is reported rather than hidden.
    EXPECT_EQ(engine.IsConnected(), 1);
}

}  // namespace
