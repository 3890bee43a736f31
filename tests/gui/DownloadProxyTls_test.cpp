// The engine behind a proxy from the environment (the local server plays the proxy), the
// proxy's credentials prompt, and TLS verification against a self-signed certificate.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QTest>
#include <QTimer>
#include <cstdlib>

#include "download/ProxyLogins.h"
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
                                          const QString&, auto answered) {
        ++h.prompts;
        EXPECT_EQ(proxy.port(), h.proxy.port());
        answered(download::ProxyCredentials{"jo", "secret"});
    };
    QtDownloadEngine engine("http://catalogue.corvalite.invalid/", options);
    engine.AddFile(kRemoteFile, h.dir.folder() + "one.txt");
    engine.AddFile(kRemoteFile, h.dir.folder() + "two.txt");

    EXPECT_EQ(engine.DownloadFiles({}), 1);

    EXPECT_EQ(h.prompts, 1) << "asked once per run";
    EXPECT_EQ(h.dir.Read("two.txt"), std::string("via proxy: ") + kRemoteFile);
    EXPECT_EQ(h.shown.count, 0);
}

// Five lists in flight meet the proxy; the person cancels the one question, later, from the
// event loop as a dialog would. Every list fails at once with the proxy's reason, and the
// next run may ask again, once.
TEST(DownloadProxy, ACancelAnswersEveryTransferOfTheRunAndTheNextRunAsksAgain) {
    Harness h;
    h.requireCredentials();
    auto options = h.options();
    options.ui.askProxyCredentials = [&h](OwnerWindow, const QNetworkProxy&, bool, const QString&,
                                          auto answered) {
        ++h.prompts;
        QTimer::singleShot(0, [answered] { answered(std::nullopt); });
    };
    QtDownloadEngine engine("http://catalogue.corvalite.invalid/", options);
    const std::vector<std::string> lists{"list.txt", "list_d.txt", "list_v.txt", "list_m.txt",
                                         "list_u.txt"};
    for (const std::string& list : lists) engine.AddFile(kRemoteFile, h.dir.folder() + list);

    EXPECT_EQ(engine.IsConnected(), 1) << "a proxy asking for a login has answered";
    EXPECT_EQ(h.prompts, 0) << "the connection check asks nobody";
    EXPECT_EQ(engine.DownloadFiles({}), 0);

    EXPECT_EQ(h.prompts, 1);
    ASSERT_EQ(h.shown.count, 1);
    for (const std::string& list : lists) {
        EXPECT_FALSE(h.dir.Exists(list));
        EXPECT_TRUE(h.shown.text.contains(QString::fromStdString(list))) << list;
    }
    EXPECT_EQ(h.shown.text.count("the proxy requires a user name and password"), 5)
        << h.shown.text.toStdString();

    EXPECT_EQ(engine.DownloadFiles({}), 0);
    EXPECT_EQ(h.prompts, 2) << "a new run asks once again";
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
// once; the transfers wait for them, and within one run nobody asks twice. Their typing time
// passes on a clock that fires the deadlines the moment it passes them.
TEST(DownloadProxy, ALoginTakesItsTimeAndHoldsForTheRestOfTheRun) {
    Harness h;
    h.requireCredentials();
    testsupport::ManualClock clock;
    auto options = h.options();
    options.clock = &clock;
    options.probeTimeout = 300ms;
    options.stallTimeout = 300ms;
    options.rateWindow = 300ms;
    options.slowestBytesPerSecond = 1'000'000;
    int prompts = 0;
    options.ui.askProxyCredentials = [&](OwnerWindow, const QNetworkProxy& proxy, bool refused,
                                         const QString& user, auto answered) {
        ++prompts;
        EXPECT_EQ(proxy.port(), h.proxy.port());
        EXPECT_EQ(user, refused ? "jo" : "");
        clock.advance(1s);  // the person typing
        answered(download::ProxyCredentials{"jo", refused ? "secret" : "wrong"});
    };
    QtDownloadEngine engine("http://catalogue.corvalite.invalid/", options);
    engine.AddFile(kRemoteFile, h.dir.folder() + "list.txt");
    engine.AddFile(kRemoteFile, h.dir.folder() + "list_d.txt");

    EXPECT_EQ(engine.IsConnected(), 1);
    EXPECT_EQ(engine.DownloadFiles({}), 1) << h.shown.text.toStdString();
    EXPECT_EQ(prompts, 2) << "asked, refused, asked again";
    EXPECT_EQ(engine.IsConnected(), 1);
    EXPECT_EQ(engine.DownloadFiles({}), 1);
    EXPECT_EQ(prompts, 2) << "the login given holds for later runs";

    QtDownloadEngine nextRun("http://catalogue.corvalite.invalid/", options);
    nextRun.AddFile(kRemoteFile, h.dir.folder() + "again.txt");
    EXPECT_EQ(nextRun.DownloadFiles({}), 1);
    EXPECT_EQ(prompts, 4);
    EXPECT_EQ(h.dir.Read("again.txt"), std::string("via proxy: ") + kRemoteFile);
    EXPECT_EQ(h.shown.count, 0) << h.shown.text.toStdString();
}

// Qt asks once for every connection that met the proxy. Those asking while the question is
// open wait for it and take its answer; the engine's alarms stand still meanwhile, the ones
// started during the question too.
TEST(DownloadProxy, RequestsMeetingAnOpenQuestionTakeItsAnswerWhileTimeStandsStill) {
    QNetworkAccessManager network;
    int prompts = 0;
    std::function<void(std::optional<download::ProxyCredentials>)> pending;
    download::ProxyLogins logins(
        network, [&](OwnerWindow, const QNetworkProxy&, bool, const QString&, auto answered) {
            ++prompts;
            pending = answered;
        });
    logins.beginRun({}, true);
    testsupport::ManualClock clock;
    int fired = 0;
    const auto alarm = [&] {
        auto made = download::HeldWhileAsking(clock.alarm(), network);
        QObject::connect(made.get(), &download::Alarm::fired, [&fired] { ++fired; });
        return made;
    };
    const auto stall = alarm();
    const auto pause = alarm();
    stall->start(300ms);
    const QNetworkProxy proxy(QNetworkProxy::HttpProxy, "proxy.corvalite.test", 3128);
    QAuthenticator first;
    QAuthenticator second;
    QAuthenticator third;
    QTimer::singleShot(0, [&] {
        clock.advance(1s);
        pause->start(200ms);  // a retry pause that began while asking
        clock.advance(1s);
        EXPECT_EQ(fired, 0) << "time ran while the person typed";
        EXPECT_EQ(stall->remaining(), 300ms);
        emit network.proxyAuthenticationRequired(proxy, &second);
        EXPECT_EQ(second.user(), QString::fromLatin1("søren 日本"));
    });
    QTimer::singleShot(0, [&] { pending(download::ProxyCredentials{"søren 日本", "🦊"}); });
    emit network.proxyAuthenticationRequired(proxy, &first);

    EXPECT_EQ(prompts, 1);
    EXPECT_EQ(first.user(), second.user());
    EXPECT_EQ(first.password(), QString::fromLatin1("🦊"));
    emit network.proxyAuthenticationRequired(proxy, &third);
    EXPECT_EQ(third.user(), first.user()) << "a new connection gets the login given";
    EXPECT_EQ(prompts, 1);
    clock.advance(200ms);
    EXPECT_EQ(fired, 1) << "the pause runs once the question is answered";
    clock.advance(100ms);
    EXPECT_EQ(fired, 2);
}

// Typed once, "josé" goes in UTF-8 first, as browsers send it, and in Latin-1 when the proxy
// refuses that: a proxy of either kind lets the person in with one question.
TEST(DownloadProxy, ANameOutsideAsciiGoesInUtf8ThenLatin1) {
    Harness h;
    const std::string latin1 = QByteArray("jos\xe9:p\xe4sse").toBase64().toStdString();
    h.proxy.serveResponder("*", [latin1](const ReceivedRequest& request) {
        if (request.header("Proxy-Authorization") == "Basic " + latin1)
            return CannedReply{200, "via proxy: " + request.target, "text/plain", {}};
        return CannedReply{
            407, "who are you", "text/plain", {{"Proxy-Authenticate", "Basic realm=\"corp\""}}};
    });
    auto options = h.options();
    options.ui.askProxyCredentials = [&h](OwnerWindow, const QNetworkProxy&, bool, const QString&,
                                          auto answered) {
        ++h.prompts;
        answered(download::ProxyCredentials{"josé", "pässe"});
    };
    QtDownloadEngine engine("http://catalogue.corvalite.invalid/", options);
    engine.AddFile(kRemoteFile, h.dir.folder() + "list.txt");

    EXPECT_EQ(engine.DownloadFiles({}), 1) << h.shown.text.toStdString();

    EXPECT_EQ(h.prompts, 1);
    std::vector<std::string> sent;
    for (const ReceivedRequest& request : h.proxy.requests())
        if (const std::string auth = request.header("Proxy-Authorization"); !auth.empty())
            sent.push_back(auth);
    const std::string utf8 = QByteArray("jos\xc3\xa9:p\xc3\xa4sse").toBase64().toStdString();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[0], "Basic " + utf8);
    EXPECT_EQ(sent.back(), "Basic " + latin1);
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
