// The road of an alert from another system: halvane-send, run as a script runs it (no display),
// and the real tray client on a real desktop with a tray host and an audio server, which pops up
// and rings for an alert from the command line and for one from a CAP message written by hand, and
// rings once more, not twice, for the CAP Update that replaces that one.
#include "DesktopSession.h"
#include "TestDb.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

namespace {

// Sound bursts in a recording, told apart by at least a second of silence.
int countRings(const QString& wav) {
    QFile f(wav);
    // 44.1 kHz, two channels of 16 bits, after a 44-byte header.
    const double seconds = f.exists() ? double(f.size() - 44) / (44100.0 * 4) : 0;
    int rings = 0;
    double lastLoud = -10;
    for (double t = 0; t < seconds; t += 0.25) {
        if (DesktopSession::peakDb(wav, t, 0.25) > -70) {
            if (t - lastLoud > 1.0) ++rings;
            lastLoud = t;
        }
    }
    return rings;
}

const QByteArray kHandWritten = R"(<?xml version="1.0" encoding="UTF-8"?>
<alert xmlns="urn:oasis:names:tc:emergency:cap:1.2">
  <identifier>FP-EAST-2026-0815</identifier>
  <sender>firepanel.east@plant.example</sender>
  <sent>SENT</sent>
  <status>Actual</status>
  <msgType>Alert</msgType>
  <scope>Restricted</scope>
  <restriction>Staff on site</restriction>
  <info>
    <category>Fire</category>
    <event>Code Red</event>
    <urgency>Immediate</urgency>
    <severity>Severe</severity>
    <certainty>Observed</certainty>
    <headline>Smoke detector 14 in alarm</headline>
    <description>Smoke reported in the loading dock.</description>
    <instruction>All employees report to their fire watch location.</instruction>
    <area>
      <areaDesc>Loading Dock</areaDesc>
    </area>
  </info>
</alert>
)";

// The hand-written message as sent a minute ago; as an Update of it when `updating` names it.
QByteArray handWritten(const QString& sent, const QString& identifier = "FP-EAST-2026-0815",
                       const QString& updating = {}) {
    QByteArray doc = kHandWritten;
    doc.replace("SENT", sent.toUtf8());
    doc.replace("FP-EAST-2026-0815", identifier.toUtf8());
    if (!updating.isEmpty()) {
        doc.replace("<msgType>Alert</msgType>",
                    "<msgType>Update</msgType><references>" + updating.toUtf8() + "</references>");
        doc.replace("Smoke detector 14 in alarm", "Fire confirmed in the loading dock");
    }
    return doc;
}

QString minuteAgo() {
    return QDateTime::currentDateTimeUtc().addSecs(-60).toString("yyyy-MM-ddTHH:mm:ss") + "-00:00";
}

} // namespace

class TestSendE2e : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<DesktopSession> m_desk;

    // The popup: a visible 380 x 120 window of the tray client.
    bool popup() {
        const QStringList ids =
            m_desk->run("xdotool", {"search", "--onlyvisible", "--class", "Morvik"}).split('\n', Qt::SkipEmptyParts);
        for (const QString& id : ids) {
            if (m_desk->run("xdotool", {"getwindowgeometry", id}).contains("Geometry: 380x120")) return true;
        }
        return false;
    }

    QString shot(const QString& name) {
        return QDir(qEnvironmentVariable("HALVANE_BINARY_DIR")).filePath("tests/send/" + name);
    }

    // halvane-send from a script: no display, halvane.ini beside it.
    int send(const QStringList& args, QString* err) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
            env.remove(QLatin1String(v));
        p.setProcessEnvironment(env);
        p.start(m_dir.filePath("halvane-send"), args);
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        *err = QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

private slots:
    void initTestCase() {
        REQUIRE_DB();
        const QString binary = qEnvironmentVariable("HALVANE_BINARY_DIR");
        // Both programs installed side by side with one halvane.ini, as the package installs them.
        QVERIFY(QFile::copy(binary + "/tray/Morvik", m_dir.filePath("Morvik")));
        QVERIFY(QFile::copy(binary + "/send/halvane-send", m_dir.filePath("halvane-send")));
        QFile ini(m_dir.filePath("halvane.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("MYSQLSERVERNAME=127.0.0.1\r\n");
    }

    void popsUpAndRingsForSentAlerts() {
        testdb::reset();
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('Code Red', 'All employees report to their fire "
                     "watch location.')");
        testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('East Wing'), ('Loading Dock')");

        DesktopSession::Options o;
        o.trayHost = true;
        o.audio = true;
        m_desk = std::make_unique<DesktopSession>(o);
        QString why;
        QVERIFY2(m_desk->start(&why), qPrintable(why));
        QVERIFY(m_desk->setSinkVolume(65536));
        QVERIFY(m_desk->setSinkMuted(false));
        QVERIFY(m_desk->launch(m_dir.filePath("Morvik"), {}));

        // From the command line.
        const QString first = m_dir.filePath("first.wav");
        QVERIFY(m_desk->startRecording(first));
        QString err;
        QCOMPARE(send({"--code", "Code Red", "--location", "East Wing", "--message", "Smoke on floor 2"}, &err), 0);
        QCOMPARE(err, QString());
        // The tray client's first poll comes 15 s after its start.
        QTRY_VERIFY2_WITH_TIMEOUT(popup(), "no popup for the alert from the command", 20000);
        QTest::qWait(3000); // the ring plays to its end
        m_desk->stopRecording();
        m_desk->screenshot(shot("send_popup_command.png"));
        QCOMPARE(countRings(first), 1);

        // From a CAP message written by hand: the next poll rings for it.
        QFile cap(m_dir.filePath("fire-panel.xml"));
        QVERIFY(cap.open(QIODevice::WriteOnly));
        const QString sent = minuteAgo();
        cap.write(handWritten(sent));
        cap.close();
        const QString second = m_dir.filePath("second.wav");
        QVERIFY(m_desk->startRecording(second));
        QCOMPARE(send({"--cap", cap.fileName()}, &err), 0);
        QCOMPARE(err, QString());
        QTest::qWait(19000); // one poll and the ring
        m_desk->stopRecording();
        QVERIFY2(popup(), "the popup went away while both alerts are current");
        m_desk->screenshot(shot("send_popup_cap.png"));
        QCOMPARE(countRings(second), 1);

        const auto rows = testdb::rows("SELECT CodeName, CodeLocation, CodeMessage, Comments FROM alerts ORDER BY ID");
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[1].value(0).toString(), QString("Code Red"));
        QCOMPARE(rows[1].value(1).toString(), QString("Loading Dock"));
        // The instruction only repeats the code's comments, which the popup shows already.
        QCOMPARE(rows[1].value(2).toString(),
                 QString("Smoke detector 14 in alarm\nSmoke reported in the loading dock."));
        QCOMPARE(rows[1].value(3).toString(), QString("All employees report to their fire watch location."));

        // An Update of that message: its alert is taken back and the new one shown, with one ring.
        QFile update(m_dir.filePath("fire-panel-update.xml"));
        QVERIFY(update.open(QIODevice::WriteOnly));
        update.write(
            handWritten(minuteAgo(), "FP-EAST-2026-0816", "firepanel.east@plant.example,FP-EAST-2026-0815," + sent));
        update.close();
        const QString third = m_dir.filePath("third.wav");
        QVERIFY(m_desk->startRecording(third));
        QCOMPARE(send({"--cap", update.fileName()}, &err), 0);
        QCOMPARE(err, QString());
        QTest::qWait(19000); // one poll and the ring
        m_desk->stopRecording();
        QVERIFY2(popup(), "the popup went away while the updated alert is current");
        QCOMPARE(countRings(third), 1);
        const auto after = testdb::rows("SELECT a.CodeMessage, c.CancelledBy FROM alerts a LEFT JOIN cancellations c "
                                        "ON c.AlertID = a.ID AND c.CodeDate = a.CodeDate AND c.CodeTime = a.CodeTime "
                                        "ORDER BY a.ID");
        QCOMPARE(after.size(), 3);
        QCOMPARE(after[1].value(1).toString(), QString("firepanel.east@plant.example"));
        QCOMPARE(after[2].value(0).toString(),
                 QString("Fire confirmed in the loading dock\nSmoke reported in the loading dock."));
        QVERIFY(after[2].value(1).isNull());
        // The same message again changes nothing and rings nothing.
        QCOMPARE(send({"--cap", update.fileName()}, &err), 0);
        QVERIFY2(err.contains("it was taken already"), qPrintable(err));
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM alerts").toInt(), 3);
        m_desk.reset();
    }
};

QTEST_GUILESS_MAIN(TestSendE2e)
#include "tst_send_e2e.moc"
