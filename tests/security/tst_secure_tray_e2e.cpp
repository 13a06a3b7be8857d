#include "DesktopSession.h"
#include "SecureServer.h"
#include "TestDb.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

// The real Morvik with the tray client's own account over TLS, as a workstation's halvane.ini
// sets it up, against a server that requires TLS and takes no root login over the network.
namespace {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (condition()) return true;
        QTest::qWait(100);
    }
    return condition();
}

} // namespace

class TestSecureTrayE2e : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    SecureServer server;
    std::unique_ptr<DesktopSession> session;

    bool popupShown() const {
        const QStringList ids =
            session->run("xdotool", {"search", "--onlyvisible", "--class", "Morvik"}).split('\n', Qt::SkipEmptyParts);
        for (const QString& id : ids)
            if (session->run("xdotool", {"getwindowgeometry", id}).contains("Geometry: 380x120")) return true;
        return false;
    }

private slots:
    void initTestCase() {
        REQUIRE_DB();
        QString why;
        QVERIFY2(server.start(&why), qPrintable(why));
        DesktopSession::Options o;
        o.trayHost = true;
        o.audio = true;
        session = std::make_unique<DesktopSession>(o);
        QVERIFY2(session->start(&why), qPrintable(why));
        QVERIFY(session->setSinkMuted(false));
        QVERIFY(session->setSinkVolume(65536));
    }

    void cleanupTestCase() {
        session.reset();
        server.stop();
    }

    void alertShowsAndRingsWithTheTrayAccount() {
        const QString morvik = dir.filePath("Morvik");
        QVERIFY(QFile::copy(qEnvironmentVariable("HALVANE_BINARY_DIR") + "/tray/Morvik", morvik));
        QFile ini(dir.filePath("halvane.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("MYSQLSERVERNAME=" + SecureServer::host().toUtf8() + "\r\nMORVIKUSER=" +
                  SecureServer::trayUser().toUtf8() + "\r\nMORVIKPASSWORD=" + SecureServer::trayPassword().toUtf8() +
                  "\r\nMYSQLSSLCA=" + server.caFile().toUtf8() + "\r\n");
        ini.close();

        server.adminExec("DELETE FROM alerts");
        QProcess* morvikProcess = session->launch(morvik, {});
        QVERIFY(morvikProcess);
        QTest::qWait(2000);
        QCOMPARE(morvikProcess->state(), QProcess::Running);

        const QString wav = dir.filePath("alert.wav");
        QVERIFY(session->startRecording(wav));
        server.adminExec("INSERT INTO alerts (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation, Comments) "
                         "SELECT 'Code Red', 'Smoke on floor 2', CURRENT_DATE, TIME(NOW()), 'Lobby', 'Go to posts'");
        QVERIFY2(waitUntil([&] { return popupShown(); }, 16500), "no popup within one poll");
        // The ring: 1.46 s of sound right after the popup.
        QTest::qWait(3000);
        session->stopRecording();
        QVERIFY2(DesktopSession::peakDb(wav) > -40, "the alert did not ring");
        QCOMPARE(morvikProcess->state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestSecureTrayE2e)
#include "tst_secure_tray_e2e.moc"
