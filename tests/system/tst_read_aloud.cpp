#include "DesktopSession.h"
#include "TestDb.h"

#include <QFile>
#include <QtTest>
#include <cmath>

namespace {

// Peak level in dBFS of each 50 ms of a 16-bit recording, from its first sound on (empty when it
// holds none).
QList<double> levelsFromFirstSound(const QString& wavPath) {
    QFile f(wavPath);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray all = f.readAll();
    const qsizetype data = all.indexOf("data");
    if (data < 0) return {};
    const auto* samples = reinterpret_cast<const qint16*>(all.constData() + data + 8);
    const qsizetype count = (all.size() - data - 8) / 2;
    const qsizetype window = 44100 * 2 / 20; // stereo
    QList<double> levels;
    for (qsizetype at = 0; at + window <= count; at += window) {
        int peak = 0;
        for (qsizetype i = at; i < at + window; ++i)
            peak = std::max(peak, std::abs(int(samples[i])));
        const double db = peak == 0 ? -1000 : 20 * std::log10(peak / 32768.0);
        if (levels.isEmpty() && db < -50) continue;
        levels << db;
    }
    return levels;
}

// The loudest moment from `from` to `to` seconds after the first sound.
double peakBetween(const QList<double>& levels, double from, double to) {
    double peak = -1000;
    for (qsizetype i = qsizetype(from * 20); i < qMin(levels.size(), qsizetype(to * 20)); ++i)
        peak = std::max(peak, levels[i]);
    return peak;
}

} // namespace

// The real tray client reads a new alert aloud after its ring when the site turned that on, and
// only then: recorded from the desktop's audio server.
class TestReadAloud : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    // The recordings are kept for a listen after the run.
    QString m_out = qEnvironmentVariableIsSet("HALVANE_BINARY_DIR")
                        ? qEnvironmentVariable("HALVANE_BINARY_DIR") + "/test-artifacts"
                        : m_tmp.path();

    // Records from now until the next poll has rung and had time to speak.
    QList<double> recordNextAlert(DesktopSession& desk, const QString& name) {
        QDir().mkpath(m_out);
        const QString wav = m_out + "/read-aloud-" + name;
        if (!desk.startRecording(wav)) return {};
        QList<double> levels;
        // A poll comes every 15 s; the ring takes 1.5 s and the words a few seconds more.
        for (int waited = 0; waited < 30000; waited += 1000) {
            QTest::qWait(1000);
            levels = levelsFromFirstSound(wav);
            if (levels.size() >= 8 * 20) break;
        }
        desk.stopRecording();
        return levelsFromFirstSound(wav);
    }

private slots:
    void spokenAfterTheRingOnlyWhenTurnedOn() {
        REQUIRE_DB();
        const QString binary = qEnvironmentVariable("HALVANE_BINARY_DIR");
        QVERIFY2(!binary.isEmpty(), "HALVANE_BINARY_DIR is not set; run through ctest");
        QFile ini(binary + "/tray/halvane.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write("MYSQLSERVERNAME=127.0.0.1\r\n");
        ini.close();

        testdb::reset();
        testdb::exec("INSERT INTO traysettings (ID, ReadAloud) VALUES (1, 1)");
        testdb::exec("INSERT INTO alerts (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation) VALUES ('Code Red', "
                     "'Use the north stairs', CURDATE(), CURTIME() - INTERVAL 2 SECOND, 'East Wing')");

        DesktopSession::Options o;
        o.trayHost = true;
        o.audio = true;
        DesktopSession desk(o);
        QString why;
        QVERIFY2(desk.start(&why), qPrintable(why));
        QVERIFY(desk.setSinkVolume(65536));
        QVERIFY(desk.setSinkMuted(false));
        QVERIFY(desk.launch(binary + "/tray/Morvik", {}));

        // The ring (1.5 s), then words well after it.
        const QList<double> spoken = recordNextAlert(desk, "spoken.wav");
        QVERIFY2(!spoken.isEmpty(), "no ring recorded");
        QVERIFY2(peakBetween(spoken, 0, 1.4) > -50, "no ring");
        const double words = peakBetween(spoken, 2.0, 8.0);
        QVERIFY2(words > -45, qPrintable(QString("no words after the ring (peak %1 dB)").arg(words)));

        // Turned off: the next new alert rings and nothing is said.
        testdb::exec("UPDATE traysettings SET ReadAloud = 0");
        testdb::exec(
            "INSERT INTO alerts (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation) VALUES ('Code Blue', "
            "NULL, CURDATE(), CURTIME() - INTERVAL 2 SECOND, 'Lobby')");
        const QList<double> quiet = recordNextAlert(desk, "quiet.wav");
        QVERIFY2(!quiet.isEmpty(), "no ring recorded for the second alert");
        QVERIFY2(peakBetween(quiet, 0, 1.4) > -50, "no ring");
        const double none = peakBetween(quiet, 2.0, 8.0);
        QVERIFY2(none < -70, qPrintable(QString("words although reading aloud is off (peak %1 dB)").arg(none)));
    }
};

QTEST_GUILESS_MAIN(TestReadAloud)
#include "tst_read_aloud.moc"
