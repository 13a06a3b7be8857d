// Delivery with nothing faked in between: three workstations, each a real Morvik of its own desktop
// user on its own test desktop (one with an audio server, one without any sound device, one that
// checks in and is then stopped), and the real console that submits one alert and shows its
// delivery, read back through its report. And a Morvik against a database made before the
// delivery tables, which shows and rings the alert as it always did.
#include "DesktopSession.h"
#include "TestDb.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostInfo>
#include <QRect>
#include <QRegularExpression>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (condition()) return true;
        QTest::qWait(200);
    }
    return condition();
}

// The popup: a visible 380 x 120 window of Morvik.
QRect popupOn(const DesktopSession& desk) {
    const QStringList ids =
        desk.run("xdotool", {"search", "--onlyvisible", "--class", "Morvik"}).split('\n', Qt::SkipEmptyParts);
    for (const QString& id : ids) {
        QHash<QString, int> v;
        for (const QString& line : desk.run("xdotool", {"getwindowgeometry", "--shell", id}).split('\n')) {
            const QStringList kv = line.split('=');
            if (kv.size() == 2) v[kv[0].trimmed()] = kv[1].toInt();
        }
        if (v["WIDTH"] == 380 && v["HEIGHT"] == 120) return QRect(v["X"], v["Y"], v["WIDTH"], v["HEIGHT"]);
    }
    return {};
}

// Every report line, as written (CR LF ends).
QStringList reportLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"));
}

} // namespace

class TestDeliveryE2e : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_binary;
    QString m_morvik;
    QString m_host;

    // One desktop user: an account of its own (no name in the system's user list, so the session's
    // USER names it), with a home and a runtime folder of its own.
    struct User {
        uid_t uid;
        QString name;
    };

    QProcess* launchMorvik(DesktopSession& desk, const User& user) {
        if (user.uid == 0) return desk.launch(m_morvik, {});
        const QString home = m_dir.filePath("home-" + user.name);
        QDir().mkpath(home);
        if (chown(QFile::encodeName(home).constData(), user.uid, user.uid) != 0) return nullptr;
        chmod(QFile::encodeName(home).constData(), 0700);
        QProcessEnvironment env;
        env.insert("USER", user.name);
        env.insert("LOGNAME", user.name);
        env.insert("HOME", home);
        env.insert("XDG_RUNTIME_DIR", home);
        return desk.launch("setpriv",
                           {"--reuid=" + QString::number(user.uid), "--regid=" + QString::number(user.uid),
                            "--clear-groups", "--pdeathsig", "KILL", "--", m_morvik},
                           env);
    }

    // Without any sound device Morvik says "No mixer found!" at start, as it always did, and
    // waits for OK before it goes on.
    bool answerNoMixer(DesktopSession& desk) {
        QString box;
        if (!waitUntil(
                [&] {
                    box = desk.run("xdotool", {"search", "--onlyvisible", "--name", "^Morvik$"}).section('\n', 0, 0);
                    return !box.isEmpty();
                },
                15000))
            return false;
        desk.run("xdotool", {"windowactivate", "--sync", box});
        QTest::qWait(300);
        desk.run("xdotool", {"key", "Return"});
        return waitUntil(
            [&] {
                return desk.run("xdotool", {"search", "--onlyvisible", "--name", "^Morvik$"}).isEmpty();
            },
            5000);
    }

    bool checkedIn(const User& user) {
        return testdb::scalar("SELECT COUNT(*) FROM workstations WHERE HostName = ? AND DesktopUser = ?",
                              {m_host, user.name})
                   .toInt() == 1;
    }

    static std::unique_ptr<DesktopSession> desktop(bool audio, bool trayHost, bool printServer) {
        DesktopSession::Options o;
        o.audio = audio;
        o.trayHost = trayHost;
        o.printServer = printServer;
        return std::make_unique<DesktopSession>(o);
    }

    static void key(const DesktopSession& desk, const QString& k) {
        desk.run("xdotool", {"key", "--clearmodifiers", k});
        QTest::qWait(300);
    }

    static QString findWindow(const DesktopSession& desk, const QString& name, int seconds) {
        QString w;
        waitUntil(
            [&] {
                w = desk.run("xdotool", {"search", "--onlyvisible", "--name", name}).section('\n', 0, 0);
                return !w.isEmpty();
            },
            seconds * 1000);
        return w;
    }

    // The delivery window's report, as the operator gets it from its Report button.
    QStringList deliveryReport(const DesktopSession& desk, const QString& window) {
        QFile::remove(m_dir.filePath("temp/report.txt"));
        desk.run("xdotool", {"windowactivate", "--sync", window});
        QTest::qWait(300);
        key(desk, "alt+r");
        if (findWindow(desk, "^Delivery of ", 15).isEmpty()) return {};
        return reportLines(m_dir.filePath("temp/report.txt"));
    }

private slots:
    void initTestCase() {
        REQUIRE_DB();
        m_binary = qEnvironmentVariable("HALVANE_BINARY_DIR");
        QVERIFY2(!m_binary.isEmpty(), "HALVANE_BINARY_DIR is not set; run through ctest");
        QVERIFY2(getuid() == 0, "the workstations run as desktop users of their own, which needs root");
        // Morvik as installed: its own copy beside its own halvane.ini, readable by every user.
        chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
        m_morvik = m_dir.filePath("Morvik");
        QVERIFY(QFile::copy(m_binary + "/tray/Morvik", m_morvik));
        QFile ini(m_dir.filePath("halvane.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("MYSQLSERVERNAME=127.0.0.1\r\n");
        ini.close();
        QFile consoleIni(m_binary + "/console/halvane.ini");
        QVERIFY(consoleIni.open(QIODevice::WriteOnly | QIODevice::Truncate));
        consoleIni.write("MYSQLSERVERNAME=127.0.0.1\r\n");
        QVERIFY(QDir().mkpath(m_dir.filePath("temp")));
        m_host = QHostInfo::localHostName();
    }

    void cleanup() {
        QString out;
        QVERIFY2(testdb::applyUpgrade(&out), qPrintable(out));
    }

    void threeWorkstationsOneAlert() {
        testdb::reset();
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('Code Red', 'All employees report to their "
                     "fire watch location.')");
        testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('East Wing')");
        const User wardA{0, "root"}, wardB{4202, "ward-b"}, wardC{4203, "ward-c"};
        QString why;

        // The third workstation checks in at start and is then stopped: it goes silent.
        auto deskC = desktop(false, false, false);
        QVERIFY2(deskC->start(&why), qPrintable(why));
        QProcess* c = launchMorvik(*deskC, wardC);
        QVERIFY(c);
        QVERIFY2(answerNoMixer(*deskC), "no \"No mixer found!\" on the desktop without sound");
        QVERIFY2(waitUntil([&] { return checkedIn(wardC); }, 20000), "the third workstation did not check in");
        QElapsedTimer sinceC;
        sinceC.start();
        c->terminate();
        QVERIFY(c->waitForFinished(10000));

        auto deskA = desktop(true, true, true);
        QVERIFY2(deskA->start(&why), qPrintable(why));
        QVERIFY(deskA->setSinkVolume(20000));
        QVERIFY(deskA->setSinkMuted(true));
        auto deskB = desktop(false, false, false);
        QVERIFY2(deskB->start(&why), qPrintable(why));
        QVERIFY(launchMorvik(*deskA, wardA));
        QVERIFY(launchMorvik(*deskB, wardB));
        QVERIFY2(answerNoMixer(*deskB), "no \"No mixer found!\" on the desktop without sound");
        QVERIFY2(waitUntil([&] { return checkedIn(wardA) && checkedIn(wardB); }, 20000),
                 "the two workstations did not check in at start");
        const auto audio = testdb::rows("SELECT DesktopUser, SoundDevice, VolumeReadable, MuteReadable, "
                                        "CheckInSeconds, PollSeconds FROM workstations ORDER BY DesktopUser");
        QCOMPARE(audio.size(), 3);
        for (const QSqlRecord& r : audio) {
            const bool sound = r.value(0).toString() == "root";
            QCOMPARE(r.value(1).toInt(), sound ? 1 : 0);
            QCOMPARE(r.value(2).toInt(), sound ? 1 : 0);
            QCOMPARE(r.value(3).toInt(), sound ? 1 : 0);
            QCOMPARE(r.value(4).toInt(), 60);
            QCOMPARE(r.value(5).toInt(), 15);
        }

        // One submission from the console on the first desktop.
        QProcessEnvironment consoleEnv;
        consoleEnv.insert("Temp", m_dir.filePath("temp"));
        consoleEnv.insert("LC_ALL", "en_US.UTF-8");
        QVERIFY(deskA->launch(m_binary + "/console/Halvane", {}, consoleEnv));
        const QString main = findWindow(*deskA, "^HALVANE - ", 20);
        QVERIFY2(!main.isEmpty(), "the console's main window did not appear");
        deskA->run("xdotool", {"windowactivate", "--sync", main});
        QTest::qWait(500);
        key(*deskA, "Down"); // Code Red
        key(*deskA, "Tab");
        key(*deskA, "Down"); // East Wing
        key(*deskA, "Return");
        QVERIFY2(!findWindow(*deskA, "^Custom Message$", 10).isEmpty(), "no custom message question");
        key(*deskA, "n");
        QVERIFY2(!findWindow(*deskA, "^Halvane Saved$", 10).isEmpty(), "no confirmation");
        key(*deskA, "Return");

        // Both listening workstations show it within a poll, and each writes its receipt after its ring.
        QVERIFY2(waitUntil([&] { return popupOn(*deskA).isValid() && popupOn(*deskB).isValid(); }, 20000),
                 "the popups did not come within one poll");
        QVERIFY2(waitUntil([&] { return testdb::scalar("SELECT COUNT(*) FROM receipts").toInt() == 2; }, 10000),
                 "the receipts were not written after the rings");
        const QSqlRecord alert = testdb::rows("SELECT ID, CodeDate, CodeTime FROM alerts").value(0);
        const auto receipts =
            testdb::rows("SELECT DesktopUser, AlertID, CodeDate, CodeTime, CodeName, CodeLocation, RingResult, "
                         "VolumeBefore, VolumeDuring, VolumeAfter, MuteLifted, MuteRestored, "
                         "TIMESTAMPDIFF(SECOND, ShownAt, NOW()), RangAt >= ShownAt FROM receipts ORDER BY DesktopUser");
        QCOMPARE(receipts[0].value(0).toString(), QString("root"));
        QCOMPARE(receipts[1].value(0).toString(), QString("ward-b"));
        for (const QSqlRecord& r : receipts) {
            QCOMPARE(r.value(1), alert.value(0));
            QCOMPARE(r.value(2), alert.value(1));
            QCOMPARE(r.value(3), alert.value(2));
            QCOMPARE(r.value(4).toString(), QString("Code Red"));
            QCOMPARE(r.value(5).toString(), QString("East Wing"));
            QVERIFY2(r.value(12).toInt() >= 0 && r.value(12).toInt() < 30, "shown at a time the server did not have");
            QCOMPARE(r.value(13).toInt(), 1);
        }
        // Raised from 20000? No: 20000 is above the floor, so it stays; the mute was lifted and put back.
        QCOMPARE(receipts[0].value(6).toString(), QString("played"));
        QCOMPARE(receipts[0].value(7).toInt(), 20000);
        QCOMPARE(receipts[0].value(8).toInt(), 20000);
        QCOMPARE(receipts[0].value(9).toInt(), 20000);
        QCOMPARE(receipts[0].value(10).toInt(), 1);
        QCOMPARE(receipts[0].value(11).toInt(), 1);
        QVERIFY(deskA->sinkMuted());
        QCOMPARE(receipts[1].value(6).toString(), QString("no device"));
        QVERIFY(receipts[1].value(7).isNull());
        QVERIFY(receipts[1].value(10).isNull());

        // The user of the second workstation closes the popup with a click.
        const QRect popupB = popupOn(*deskB);
        deskB->run("xdotool", {"mousemove", QString::number(popupB.center().x()), QString::number(popupB.top() + 40),
                               "click", "1"});
        QVERIFY2(waitUntil([&] { return !popupOn(*deskB).isValid(); }, 5000), "the popup did not close on a click");
        QVERIFY2(waitUntil(
                     [&] {
                         return testdb::scalar("SELECT COUNT(*) FROM receipts WHERE DesktopUser = 'ward-b' AND "
                                               "ClosedAt IS NOT NULL")
                                    .toInt() == 1;
                     },
                     5000),
                 "the close was not written");

        // The console's delivery window, opened from the main window's menu.
        deskA->run("xdotool", {"windowactivate", "--sync", main});
        QTest::qWait(300);
        key(*deskA, "alt");
        key(*deskA, "Right");
        key(*deskA, "Right");
        key(*deskA, "Down");
        key(*deskA, "Return");
        const QString delivery = findWindow(*deskA, "^Alert Delivery$", 10);
        QVERIFY2(!delivery.isEmpty(), "the delivery window did not open from the menu");
        QTest::qWait(1000);
        const QString title =
            "Delivery of " +
            QStringLiteral("%1 %2").arg(
                alert.value(1).toDate().toString("MM/dd/yyyy"),
                QLocale(QLocale::English, QLocale::UnitedStates).toString(alert.value(2).toTime(), "h:mm AP")) +
            " - CODE Code Red - Location = East Wing";
        QStringList report = deliveryReport(*deskA, delivery);
        QVERIFY2(report.size() > 14, qPrintable(report.join('\n')));
        QCOMPARE(report[1], title);
        QCOMPARE(report.mid(7, 4), QStringList({"Saw it:                    2", "Rang:                      1",
                                                "Failed to ring:            1", "Closed the popup:          1"}));
        // The stopped one has not seen it: still counted as checking in, or already silent on a slow run.
        QCOMPARE(report[11].mid(27).toInt() + report[12].mid(27).toInt(), 1);
        const QString text = report.join('\n');
        QVERIFY2(text.contains("Group:         Failed to ring\nWorkstation:   " + m_host + "\nUser:          ward-b\n"),
                 qPrintable(text));
        QVERIFY2(text.contains(QRegularExpression("Group:         Failed to ring\n.*\n.*\n.*\nDetail:        no sound "
                                                  "device")),
                 qPrintable(text));
        QVERIFY2(text.contains("Group:         Closed the popup\nWorkstation:   " + m_host + "\nUser:          ward-b"),
                 qPrintable(text));
        deskA->screenshot(m_dir.filePath("delivery-listening.png"));

        // The stopped workstation goes silent once it is two polls past the check-in it owed.
        const qint64 silentAfterMs = (60 + 2 * 15 + 3) * 1000;
        QTest::qWait(int(qMax<qint64>(0, silentAfterMs - sinceC.elapsed())));
        QTest::qWait(4000); // the window reads again by itself
        report = deliveryReport(*deskA, delivery);
        QVERIFY2(report.size() > 14, qPrintable(report.join('\n')));
        QCOMPARE(report.mid(7, 6), QStringList({"Saw it:                    2", "Rang:                      1",
                                                "Failed to ring:            1", "Closed the popup:          1",
                                                "Checking in, not seen yet: 0", "Silent:                    1"}));
        QVERIFY2(
            report.join('\n').contains("Group:         Silent\nWorkstation:   " + m_host + "\nUser:          ward-c"),
            qPrintable(report.join('\n')));
        // The two that listen are not silent: they checked in again meanwhile.
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM workstations WHERE TIMESTAMPDIFF(SECOND, LastCheckIn, NOW()) "
                                "< 75")
                     .toInt(),
                 2);
        deskA->screenshot(m_dir.filePath("delivery-silent.png"));
        m_dir.setAutoRemove(!QTest::currentTestFailed());
    }

    void databaseWithoutTheDeliveryTables() {
        testdb::reset();
        testdb::dropDeliveryTables();
        QString why;
        auto desk = desktop(true, true, false);
        QVERIFY2(desk->start(&why), qPrintable(why));
        QVERIFY(desk->setSinkVolume(65536));
        QVERIFY(desk->setSinkMuted(false));
        QVERIFY(launchMorvik(*desk, {0, "root"}));
        QTest::qWait(2000);
        const QString wav = m_dir.filePath("old-database.wav");
        QVERIFY(desk->startRecording(wav));
        testdb::exec("INSERT INTO alerts (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation, Comments) VALUES "
                     "('Code Red', 'Old database', CURRENT_DATE, TIME(NOW()), 'East Wing', NULL)");
        QVERIFY2(waitUntil([&] { return popupOn(*desk).isValid(); }, 20000), "no popup within one poll");
        QTest::qWait(3000); // the ring plays to its end
        desk->stopRecording();
        QVERIFY2(DesktopSession::peakDb(wav) > -50, "no ring recorded on the sink");
        // Nothing else came up, and the database is as it was.
        QCOMPARE(desk->run("xdotool", {"search", "--onlyvisible", "--name", "^Morvik$"}), QString());
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'halvane' AND "
                                "TABLE_NAME IN ('workstations', 'receipts')")
                     .toInt(),
                 0);
    }
};

QTEST_GUILESS_MAIN(TestDeliveryE2e)
#include "tst_delivery_e2e.moc"
