#include "DesktopSession.h"
#include "TestDb.h"

#include <QDir>
#include <QRegularExpression>
#include <QtTest>

// The road of one alert with nothing faked in between: the real console and tray client on a
// real desktop with a tray host and an audio server, against the private database, driven only
// from outside as an operator and a workstation user would.
class TestRoadOfAlert : public QObject {
    Q_OBJECT

    std::unique_ptr<DesktopSession> m_desk;
    QTemporaryDir m_out;
    QString m_binary;

    QString findWindow(const QString& namePattern, int seconds) {
        for (int i = 0; i < seconds * 10; ++i) {
            const QString w =
                m_desk->run("xdotool", {"search", "--onlyvisible", "--name", namePattern}).section('\n', 0, 0);
            if (!w.isEmpty()) return w;
            QTest::qWait(100);
        }
        return {};
    }

    // The popup: a visible 380 x 120 window of the tray client.
    QString popupWindow() {
        const QStringList ids = m_desk->run("xdotool", {"search", "--onlyvisible", "--class", "Morvik"}).split('\n');
        for (const QString& id : ids) {
            if (!id.isEmpty() && m_desk->run("xdotool", {"getwindowgeometry", id}).contains("Geometry: 380x120"))
                return id;
        }
        return {};
    }

    QString waitForPopup(int seconds) {
        for (int i = 0; i < seconds * 10; ++i) {
            if (const QString w = popupWindow(); !w.isEmpty()) return w;
            QTest::qWait(100);
        }
        return {};
    }

    void key(const QString& k) {
        m_desk->run("xdotool", {"key", "--clearmodifiers", k});
        QTest::qWait(250);
    }

    void road(bool withMessage) {
        testdb::reset();
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('Code Red', 'All employees report to their fire "
                     "watch location.'), ('Code Blue', NULL)");
        testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('East Wing'), ('Lobby')");

        DesktopSession::Options o;
        o.trayHost = true;
        o.audio = true;
        m_desk = std::make_unique<DesktopSession>(o);
        QString why;
        QVERIFY2(m_desk->start(&why), qPrintable(why));
        QVERIFY(m_desk->setSinkVolume(65536));
        QVERIFY(m_desk->setSinkMuted(false));

        QVERIFY(m_desk->launch(m_binary + "/tray/Morvik", {}));
        QVERIFY(m_desk->launch(m_binary + "/console/Halvane", {}));
        const QString main = findWindow("^HALVANE - ", 20);
        QVERIFY2(!main.isEmpty(), "the console's main window did not appear");
        m_desk->run("xdotool", {"windowactivate", "--sync", main});
        QTest::qWait(500);

        // Lists in name order, each name followed by an empty entry: Down picks the first name.
        key("Down"); // Code Blue
        key("Tab");
        key("Down"); // East Wing
        const QString wav1 = m_out.filePath(withMessage ? "ring-msg.wav" : "ring.wav");
        QVERIFY(m_desk->startRecording(wav1));
        key("Return");
        QVERIFY2(!findWindow("^Custom Message$", 10).isEmpty(), "no custom message question");
        if (withMessage) {
            key("y");
            QVERIFY2(!findWindow("^Custom Code Message$", 10).isEmpty(), "no custom message window");
            m_desk->run("xdotool", {"type", "--delay", "20", "Use the north stairs"});
            key("Return");
        } else {
            key("n");
        }
        QVERIFY2(!findWindow("^Halvane Saved$", 10).isEmpty(), "no confirmation");
        m_desk->screenshot(m_out.filePath("saved.png"));
        key("Return");

        const auto alerts = testdb::rows("SELECT CodeName, CodeLocation, CodeMessage, Comments FROM alerts");
        QCOMPARE(alerts.size(), 1);
        QCOMPARE(alerts[0].value("CodeName").toString(), QString("Code Blue"));
        QCOMPARE(alerts[0].value("CodeLocation").toString(), QString("East Wing"));
        QCOMPARE(alerts[0].value("CodeMessage").toString(), withMessage ? QString("Use the north stairs") : QString());
        QCOMPARE(
            testdb::scalar("SELECT COUNT(*) FROM AlertLog WHERE CodeName = 'Code Blue' AND CodeLocation = 'East Wing'")
                .toInt(),
            1);

        // The first poll comes 15 s after the tray client started.
        const QString popup = waitForPopup(20);
        QVERIFY2(!popup.isEmpty(), "no popup within one poll");
        QVERIFY(m_desk->run("xdotool", {"getwindowgeometry", popup}).contains("Position: 840,650"));
        QTest::qWait(3000); // the ring plays to its end
        m_desk->stopRecording();
        m_desk->screenshot(m_out.filePath(withMessage ? "popup-msg.png" : "popup.png"));
        QVERIFY2(DesktopSession::peakDb(wav1) > -50, "no ring recorded on the sink");

        // The next poll shows the same alert without ringing again.
        const QString wav2 = m_out.filePath("quiet.wav");
        QVERIFY(m_desk->startRecording(wav2));
        QTest::qWait(16000);
        m_desk->stopRecording();
        QVERIFY2(!popupWindow().isEmpty(), "the popup went away while the alert is current");
        QVERIFY2(DesktopSession::peakDb(wav2) < -70, "the same alert rang twice");

        // Once the alert is three minutes old the popup goes (aged here instead of waiting).
        testdb::exec("UPDATE alerts SET CodeDate = DATE(NOW() - INTERVAL 200 SECOND), CodeTime = TIME(NOW() - INTERVAL "
                     "200 SECOND)");
        bool gone = false;
        for (int i = 0; i < 200 && !gone; ++i) {
            gone = popupWindow().isEmpty();
            QTest::qWait(100);
        }
        QVERIFY2(gone, "the popup stayed after the alert left the three-minute window");
        m_desk.reset();
    }

private slots:
    void initTestCase() {
        REQUIRE_DB();
        m_binary = qEnvironmentVariable("HALVANE_BINARY_DIR");
        QVERIFY2(!m_binary.isEmpty(), "HALVANE_BINARY_DIR is not set; run through ctest");
        for (const char* dir : {"/tray", "/console"}) {
            QFile ini(m_binary + dir + "/halvane.ini");
            QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
            ini.write("MYSQLSERVERNAME=127.0.0.1\r\n");
        }
    }

    void alertWithoutMessage() { road(false); }
    void alertWithCustomMessage() { road(true); }
};

QTEST_GUILESS_MAIN(TestRoadOfAlert)
#include "tst_road_of_alert.moc"
