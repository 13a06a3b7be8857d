#include "AlertStore.h"
#include "ClusterNodes.h"
#include "DesktopSession.h"
#include "Failure.h"
#include "Ports.h"
#include "shared/FailureTable.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

// Two workstations (the real Morvik, each on a desktop of its own with its own audio server) and
// the console's submission, on the three-node cluster while its nodes die and come back. Every
// alert must reach both workstations, popup and one ring each, in time; none may ring twice; no
// row may be lost.
namespace {

// The seconds at which sounds start in a recording: a window louder than -70 dBFS after at least
// a second of silence. Read from the WAV data directly (16-bit PCM).
QList<double> ringOnsets(const QString& wav) {
    QFile f(wav);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray all = f.readAll();
    qsizetype data = all.indexOf("data");
    if (data < 0) return {};
    data += 8;
    const auto* samples = reinterpret_cast<const qint16*>(all.constData() + data);
    const qsizetype count = (all.size() - data) / 2;
    const int channels = 2, rate = 44100;
    const qsizetype window = rate * channels / 10; // 0.1 s
    const double threshold = 32768.0 * std::pow(10.0, -70.0 / 20.0);
    QList<double> onsets;
    double lastLoud = -10;
    for (qsizetype start = 0; start < count; start += window) {
        int peak = 0;
        for (qsizetype i = start; i < std::min(count, start + window); ++i)
            peak = std::max(peak, std::abs(int(samples[i])));
        const double t = double(start) / (rate * channels);
        if (peak > threshold) {
            if (t - lastLoud > 1.0) onsets << t;
            lastLoud = t;
        }
    }
    return onsets;
}

QString iniFor(const QList<int>& nodes) {
    QString ini;
    for (int n : nodes)
        ini += QStringLiteral("MYSQLSERVERNAME=%1\r\n").arg(cluster::host(n));
    return ini;
}

int countIn(const QString& path, const QByteArray& text) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? int(f.readAll().count(text)) : -1;
}

} // namespace

class TestClusterE2e : public QObject {
    Q_OBJECT

    struct Workstation {
        std::unique_ptr<DesktopSession> desk;
        QProcess* morvik = nullptr;
    };
    Workstation m_ws[2];
    QTemporaryDir m_dir;
    // The console's servers as halvane.ini names them; it learns which node works as it goes.
    hv::ServerList m_console = cluster::servers({1, 2, 3});
    hv::SystemClock m_clock;
    QStringList m_sent;
    int m_segment = 0;

    // The popup: a visible 380 x 120 window of the tray client. Each poll puts it up afresh, so a
    // look that falls between the two is made again.
    bool popupShown(const Workstation& w) {
        for (int attempt = 0; attempt < 4; ++attempt) {
            const QStringList ids = w.desk->run("xdotool", {"search", "--onlyvisible", "--class", "Morvik"})
                                        .split('\n', Qt::SkipEmptyParts);
            for (const QString& id : ids)
                if (w.desk->run("xdotool", {"getwindowgeometry", id}).contains("Geometry: 380x120")) return true;
            QTest::qWait(250);
        }
        return false;
    }

    bool trayIconShown(const Workstation& w) {
        const QStringList ids =
            w.desk->run("xdotool", {"search", "--onlyvisible", "--class", "Morvik"}).split('\n', Qt::SkipEmptyParts);
        return !ids.isEmpty();
    }

    hv::AlertStore::Alert alert(const QString& message) {
        hv::AlertStore::Alert a;
        a.codeName = "Code Red";
        a.codeLocation = "East Wing";
        a.codeMessage = message;
        return a;
    }

    // One alert sent by the console while both workstations record what they play: it must ring
    // exactly once on each, within `bound` seconds of its submission, with the popup up.
    void alertReachesBoth(const QString& message, double bound) {
        QString wav[2];
        for (int i = 0; i < 2; ++i) {
            wav[i] = m_dir.filePath(QStringLiteral("segment%1-ws%2.wav").arg(++m_segment).arg(i + 1));
            QVERIFY(m_ws[i].desk->startRecording(wav[i]));
        }
        QElapsedTimer recording;
        recording.start();
        // Counted from the moment the operator pressed "Submit".
        const double submittedAt = recording.elapsed() / 1000.0;
        try {
            hv::AlertStore(m_console).save(alert(message), m_clock);
        } catch (const hv::Failure& f) {
            QFAIL(qPrintable(QStringLiteral("the console could not send \"%1\": %2").arg(message, f.what())));
        }
        m_sent << message;
        qInfo("\"%s\" stored %.1f s after the submission began", qPrintable(message),
              recording.elapsed() / 1000.0 - submittedAt);
        while (recording.elapsed() < qint64((submittedAt + bound + 0.5) * 1000))
            QTest::qWait(100);
        for (int i = 0; i < 2; ++i) {
            QVERIFY2(popupShown(m_ws[i]),
                     qPrintable(QStringLiteral("no popup on workstation %1 for \"%2\"").arg(i + 1).arg(message)));
            m_ws[i].desk->stopRecording();
            const QList<double> onsets = ringOnsets(wav[i]);
            QVERIFY2(onsets.size() == 1, qPrintable(QStringLiteral("workstation %1 rang %2 times for \"%3\" (%4)")
                                                        .arg(i + 1)
                                                        .arg(onsets.size())
                                                        .arg(message, wav[i])));
            const double after = onsets.front() - submittedAt;
            qInfo("\"%s\" rang on workstation %d %.1f s after its submission", qPrintable(message), i + 1, after);
            QVERIFY2(
                after > 0 && after <= bound,
                qPrintable(QStringLiteral("workstation %1 rang %2 s after \"%3\"").arg(i + 1).arg(after).arg(message)));
        }
    }

    // Every node holds every alert sent, once, in both tables.
    void everyNodeHoldsEverything(const QList<int>& nodes) {
        QStringList expected = m_sent;
        expected.sort();
        for (int n : nodes) {
            for (const char* table : {"alerts", "AlertLog"}) {
                QStringList held;
                for (const QSqlRecord& r :
                     cluster::rows(n, QStringLiteral("SELECT CodeMessage FROM %1").arg(QLatin1String(table))))
                    held << r.value(0).toString();
                held.sort();
                QVERIFY2(held == expected,
                         qPrintable(QStringLiteral("node %1's %2 holds %3, not %4")
                                        .arg(n)
                                        .arg(QLatin1String(table), held.join(", "), expected.join(", "))));
            }
        }
    }

    // A scripts/dbserver command started earlier has ended well.
    static bool finished(QProcess& p) {
        if (p.state() != QProcess::NotRunning) p.waitForFinished(120000);
        return p.state() == QProcess::NotRunning && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    static QString nodeLog(int node) {
        return qEnvironmentVariable("HALVANE_STATE") + QStringLiteral("/cluster/node%1/mariadb.log").arg(node);
    }

private slots:
    void initTestCase() {
        REQUIRE_CLUSTER();
        cluster::reset();
        const QString binary = qEnvironmentVariable("HALVANE_BINARY_DIR");
        QVERIFY2(!binary.isEmpty(), "HALVANE_BINARY_DIR is not set; run through ctest");
        for (int i = 0; i < 2; ++i) {
            // Installed as on a workstation: its own copy beside its own halvane.ini.
            const QString dir = m_dir.filePath(QStringLiteral("ws%1").arg(i + 1));
            QVERIFY(QDir().mkpath(dir));
            QVERIFY(QFile::copy(binary + "/tray/Morvik", dir + "/Morvik"));
            QFile ini(dir + "/halvane.ini");
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write(iniFor({1, 2, 3}).toLatin1());
            ini.close();

            DesktopSession::Options o;
            o.trayHost = true;
            o.audio = true;
            m_ws[i].desk = std::make_unique<DesktopSession>(o);
            QString why;
            QVERIFY2(m_ws[i].desk->start(&why), qPrintable(why));
            QVERIFY(m_ws[i].desk->setSinkMuted(false));
            QVERIFY(m_ws[i].desk->setSinkVolume(65536));
            // The second workstation's user is another user (a user namespace here), as on a
            // real second computer: a Morvik per user session.
            m_ws[i].morvik = i == 0 ? m_ws[i].desk->launch(dir + "/Morvik", {})
                                    : m_ws[i].desk->launch("unshare", {"--user", "--map-user=4242", "--map-group=4242",
                                                                       "--", dir + "/Morvik"});
            QVERIFY(m_ws[i].morvik);
        }
        for (int i = 0; i < 2; ++i) {
            QElapsedTimer t;
            t.start();
            while (!trayIconShown(m_ws[i]) && t.elapsed() < 15000)
                QTest::qWait(200);
            QVERIFY2(trayIconShown(m_ws[i]), qPrintable(QStringLiteral("no tray icon on workstation %1").arg(i + 1)));
            QCOMPARE(m_ws[i].morvik->state(), QProcess::Running);
        }
    }

    void cleanupTestCase() {
        for (Workstation& w : m_ws)
            w.desk.reset();
    }

    // The node that the console and both workstations use dies hard in the middle of it all.
    void nodeInUseKilled() {
        // One interval, and the time a poll and the start of the ring take.
        const double interval = 17;
        // While the cluster notices the loss (about 6 s) and takes the node back.
        const double settling = 30;

        alertReachesBoth("before the loss", interval);

        if (QTest::currentTestFailed()) return;
        QCOMPARE(m_console.preferred().host, cluster::host(1));

        const int istBefore = countIn(nodeLog(1), "mariabackup IST completed on joiner");
        const int sstBefore = countIn(nodeLog(1), "mariabackup SST completed on joiner");
        QVERIFY(cluster::kill(1));
        alertReachesBoth("right after the loss", settling);
        if (QTest::currentTestFailed()) return;
        QCOMPARE(m_console.preferred().host, cluster::host(2));

        QProcess revive;
        revive.start(qEnvironmentVariable("HALVANE_SOURCE_DIR") + "/scripts/dbserver", {"cluster", "revive", "1"});
        alertReachesBoth("while the node rejoins", settling);
        if (QTest::currentTestFailed()) return;
        QVERIFY(finished(revive));
        alertReachesBoth("after the node is back", interval);
        if (QTest::currentTestFailed()) return;

        // It caught up by an incremental transfer, not a full copy.
        QVERIFY(countIn(nodeLog(1), "mariabackup IST completed on joiner") > istBefore);
        QCOMPARE(countIn(nodeLog(1), "mariabackup SST completed on joiner"), sstBefore);
        everyNodeHoldsEverything({1, 2, 3});
    }

    // Two nodes lost: the third has no majority and refuses all work. The programs behave as with
    // a lost server, and carry on by themselves when the nodes are back.
    void majorityLost() {
        QVERIFY(cluster::kill(2));
        QVERIFY(cluster::kill(3));
        QElapsedTimer t;
        t.start();
        while (cluster::status(1, "wsrep_cluster_status") != "non-Primary" && t.elapsed() < 30000)
            QTest::qWait(200);
        QCOMPARE(cluster::status(1, "wsrep_cluster_status"), QString("non-Primary"));

        QString wav[2];
        for (int i = 0; i < 2; ++i) {
            wav[i] = m_dir.filePath(QStringLiteral("nomajority-ws%1.wav").arg(i + 1));
            QVERIFY(m_ws[i].desk->startRecording(wav[i]));
        }
        // The console's submission fails as with a lost server, with the same message.
        try {
            hv::AlertStore(m_console).save(alert("without a majority"), m_clock);
            QFAIL("the alert was saved without a majority");
        } catch (const hv::Failure& f) {
            QCOMPARE(f.number(), hv::code::CannotOpen);
            const auto response = hv::FailureTable::responseTo(hv::FailureTable::Operation::Submission, f);
            QCOMPARE(response.boxes.size(), 1);
            QCOMPARE(response.boxes[0].title, QString("Database File Not Found"));
            QCOMPARE(response.outcome, hv::FailureTable::Outcome::EndProgram);
        }
        // The workstations show nothing (the alerts of the last minutes included) and stay quiet.
        QTest::qWait(17000);
        for (int i = 0; i < 2; ++i) {
            QVERIFY2(!popupShown(m_ws[i]), qPrintable(QStringLiteral("workstation %1 shows a popup").arg(i + 1)));
            m_ws[i].desk->stopRecording();
            QCOMPARE(ringOnsets(wav[i]).size(), 0);
            QCOMPARE(m_ws[i].morvik->state(), QProcess::Running);
        }

        // Both nodes come back; once all three see each other the cluster has its majority again.
        QProcess revive2, revive3;
        const QString dbserver = qEnvironmentVariable("HALVANE_SOURCE_DIR") + "/scripts/dbserver";
        revive2.start(dbserver, {"cluster", "revive", "2"});
        revive3.start(dbserver, {"cluster", "revive", "3"});
        QVERIFY(finished(revive2));
        QVERIFY(finished(revive3));

        alertReachesBoth("with the majority back", 17);

        if (QTest::currentTestFailed()) return;
        everyNodeHoldsEverything({1, 2, 3});
    }
};

QTEST_GUILESS_MAIN(TestClusterE2e)
#include "tst_cluster_e2e.moc"
