// A long session: every "Update info" is a probe and a run of five lists, over warm spare
// connections. What they leave with the engine's network manager must not grow with them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTest>
#include <cstdlib>
#include <memory>

#include "download/QtDownloadEngine.h"
#include "support/EngineOptions.h"
#include "support/LocalHttpServer.h"
#include "support/TempDir.h"

using testsupport::LocalHttpServer;

namespace {

// One press: the probe, then the five lists in one run.
void refresh(QtDownloadEngine& engine, const LocalHttpServer& server, const TempDir& dir) {
    ASSERT_EQ(engine.IsConnected(), 1);
    engine.ClearFiles();
    for (int list = 0; list < 5; ++list)
        engine.AddScratchFile(server.url("/list" + std::to_string(list)),
                              dir.folder() + "リスト " + std::to_string(list) + ".txt");
    ASSERT_EQ(engine.DownloadFiles({}), 1);
}

void expectFlat(LocalHttpServer& server, bool tls) {
    for (int list = 0; list < 5; ++list)
        server.serveFile("/list" + std::to_string(list), "entry 🦊 " + std::to_string(list));
    TempDir dir;
    testsupport::ShownFailures shown;
    QtDownloadEngine engine(server.url("/"), testsupport::EngineOptions(shown));
    auto held = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return engine.heldObjects();
    };
    refresh(engine, server, dir);
    // Over TLS the probe and the lists travel on the spare connections opened beside the
    // probe, one for each list: none opened after them pays a handshake of its own.
    if (tls) {
        EXPECT_EQ(server.tlsConnections(), 5);
    }
    refresh(engine, server, dir);
    // The warm set: the last run's replies may still be on their way out.
    (void)QTest::qWaitFor([&] { return held() <= 8; });
    const int warm = held();
    for (int press = 0; press < 30; ++press) refresh(engine, server, dir);
    EXPECT_TRUE(QTest::qWaitFor([&] { return held() <= warm; }))
        << held() << " objects held, " << warm << " after warm-up";
    EXPECT_EQ(dir.Read("リスト 4.txt"), "entry 🦊 4");
    EXPECT_EQ(shown.count, 0) << shown.text.toStdString();
    // Nothing re-sent: every list of every press asked for once.
    EXPECT_EQ(server.requestCount("/list0"), 32);
}

}  // namespace

TEST(LongSessionTest, RefreshesLeaveNothingBehindOverHttpAndHttps) {
    {
        SCOPED_TRACE("HTTP");
        LocalHttpServer server;
        expectFlat(server, false);
    }
    SCOPED_TRACE("HTTPS");
    TempDir keys;
    const std::string key = keys.folder() + "key.pem";
    const std::string cert = keys.folder() + "cert.pem";
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 "
        "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
        key + "' -out '" + cert + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) GTEST_SKIP() << "openssl cannot make a certificate";
    QSslConfiguration trusted = QSslConfiguration::defaultConfiguration();
    trusted.addCaCertificates(QSslCertificate::fromPath(QString::fromStdString(cert)));
    QSslConfiguration::setDefaultConfiguration(trusted);
    LocalHttpServer server(cert, key);
    expectFlat(server, true);
}
