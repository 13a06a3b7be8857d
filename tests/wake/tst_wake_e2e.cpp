// The wake-up channel with nothing faked in between: the project's own Mosquitto broker, the real
// tray client on a real desktop (X server, window manager, tray host, audio server), the console's
// windows in this test, and the private database.
#include "ConsoleKit.h"
#include "DesktopSession.h"
#include "WakeMessage.h"
#include "admin/LoginWindow.h"
#include "cancel/CancelWindow.h"
#include "delivery/DeliveryWindow.h"
#include "delivery/WorkstationsModel.h"
#include "delivery/WorkstationsWindow.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTreeWidget>
#include <QtTest>

namespace {

DesktopSession* g_desktop = nullptr;

QString source(const QString& path) {
    return qEnvironmentVariable("HALVANE_SOURCE_DIR") + path;
}

bool popupShown() {
    const QStringList ids =
        g_desktop->run("xdotool", {"search", "--onlyvisible", "--class", "Morvik"}).split('\n', Qt::SkipEmptyParts);
    for (const QString& id : ids)
        if (g_desktop->run("xdotool", {"getwindowgeometry", id}).contains("Geometry: 380x120")) return true;
    return false;
}

// Runs scripts/wakeserver with the run's state folder; its standard output.
QString wakeserver(const QStringList& args, int* exitCode = nullptr) {
    QProcess p;
    p.start("bash", QStringList{source("/scripts/wakeserver")} + args);
    p.waitForFinished(30000);
    if (exitCode) *exitCode = p.exitCode();
    return QString::fromUtf8(p.readAllStandardOutput()) + QString::fromUtf8(p.readAllStandardError());
}

QString brokerLog() {
    QFile f(qEnvironmentVariable("HALVANE_STATE") + "/wake/mosquitto.log");
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

int trayConnections() {
    return int(brokerLog().count(QRegularExpression("New client connected .* as morvik-.*u'morvik'")));
}

// One message published with an account of the broker's; what mosquitto_pub said.
QString publish(const QString& user, const QString& password, const QByteArray& payload,
                const QString& topic = "halvane/halvane/alerts") {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("mosquitto_pub", {"-h", "127.0.0.1", "-p", "1883", "-u", user, "-P", password, "-t", topic, "-q", "1", "-V",
                              "mqttv5", "-s"});
    p.write(payload);
    p.closeWriteChannel();
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAll());
}

const QString kSaved = "Halvane Saved | The new halvane record has been saved to the database. | Ok | Information";

} // namespace

class TestWakeE2e : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess* m_tray = nullptr;
    QByteArray m_consoleLines;
    QString m_consoleUser, m_consolePassword, m_trayUser, m_trayPassword;

    void screenshot(const QString& name) {
        const QString dir = qEnvironmentVariable("HALVANE_BINARY_DIR") + "/screenshots";
        QDir().mkpath(dir);
        QVERIFY2(g_desktop->screenshot(dir + "/" + name + ".png"), "import (imagemagick) made no screenshot");
    }

    static void seed() {
        testdb::reset();
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('Code Red', 'Go to your posts.'), ('Code Blue', "
                     "'Medical team to the location.')");
        testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('Lobby'), ('East Wing')");
        testdb::exec("INSERT INTO users (UserName, Password) VALUES ('Admin', 'Secret')");
    }

    // The console submits; the moment its confirmation came up.
    qint64 submit(ConsoleKit& h, const QString& code, const QString& location, QElapsedTimer& clock) {
        qint64 confirmed = -1;
        h.msg.onShow = [&](const ShownBox& b) {
            if (b.title == "Halvane Saved") confirmed = clock.elapsed();
        };
        h.choose(code, location);
        h.form1->Command1_Click();
        h.msg.onShow = {};
        return confirmed;
    }

    bool waitForTrayConnection(int connectionsBefore, int ms) {
        return QTest::qWaitFor([&] { return trayConnections() > connectionsBefore; }, ms);
    }

private slots:
    void initTestCase() {
        REQUIRE_DB();
        QVERIFY(m_dir.isValid());
        int rc = 0;
        wakeserver({"status"}, &rc);
        QVERIFY2(rc == 0, "the private broker is not running; run the tests through ctest, which starts it");
        const QStringList lines = wakeserver({"ini"}).split('\n', Qt::SkipEmptyParts);
        QByteArray trayLines;
        for (const QString& line : lines) {
            const QString value = line.section('=', 1);
            if (line.startsWith("HALVANEMQTTUSER=")) m_consoleUser = value;
            if (line.startsWith("HALVANEMQTTPASSWORD=")) m_consolePassword = value;
            if (line.startsWith("MORVIKMQTTUSER=")) m_trayUser = value;
            if (line.startsWith("MORVIKMQTTPASSWORD=")) m_trayPassword = value;
            if (!line.startsWith("MORVIK")) m_consoleLines += line.toUtf8() + "\r\n";
            if (!line.startsWith("HALVANE")) trayLines += line.toUtf8() + "\r\n";
        }
        QVERIFY(!m_consoleUser.isEmpty() && !m_trayUser.isEmpty());

        // The tray client as installed: its own copy beside its own halvane.ini.
        seed();
        const QString morvik = m_dir.filePath("Morvik");
        QVERIFY(QFile::copy(qEnvironmentVariable("HALVANE_BINARY_DIR") + "/tray/Morvik", morvik));
        QFile ini(m_dir.filePath("halvane.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("MYSQLSERVERNAME=127.0.0.1\r\n" + trayLines);
        ini.close();
        QVERIFY(g_desktop->setSinkMuted(false));
        QVERIFY(g_desktop->setSinkVolume(65536));
        const int before = trayConnections();
        m_tray = g_desktop->launch(morvik, {});
        QVERIFY(m_tray);
        QVERIFY2(waitForTrayConnection(before, 15000),
                 qPrintable("the tray client did not subscribe:\n" + brokerLog()));
    }

    // Only an account that may publish reaches the workstations, and only with what they can read
    // in full for their own site.
    void forgedAndRefusedMessagesShowNothing() {
        const QByteArray good =
            hv::WakeMessage::alert("halvane",
                                   [] {
                                       hv::SavedAlert a;
                                       a.alertId = 999999;
                                       a.codeDate = QDate::currentDate();
                                       a.codeTime = QTime(QTime::currentTime().hour(), QTime::currentTime().minute());
                                       a.codeName = "Forged";
                                       a.codeLocation = "Nowhere";
                                       return a;
                                   }())
                .encode();
        // The tray account, whose password every desktop user can read, may not publish.
        QVERIFY2(publish(m_trayUser, m_trayPassword, good).contains("Not authorized"),
                 "the broker took a message from the tray client's account");
        QByteArray otherSite = good;
        otherSite.replace("\"site\":\"halvane\"", "\"site\":\"south\"");
        QVERIFY(otherSite != good);
        for (const QByteArray& payload : {QByteArray("{\"halvane\":1,"), QByteArray("garbage"), otherSite,
                                          QByteArray(hv::WakeMessage::kMaxBytes + 10, 'x')})
            QCOMPARE(publish(m_consoleUser, m_consolePassword, payload), QString());
        QTest::qWait(1500);
        QVERIFY2(!popupShown(), "a message that is no alert of this site showed a popup");
        QCOMPARE(m_tray->state(), QProcess::Running);
    }

    // The popup within a second of the operator's confirmation, ringing; its receipt says it came
    // by wake-up, and the check-in says the workstation is connected.
    void alertOnTheScreenWithinASecond() {
        seed();
        ConsoleKit h;
        h.clock.set(QDateTime::currentDateTime());
        h.started(m_consoleLines);
        const QString ringWav = m_dir.filePath("ring.wav");
        QVERIFY(g_desktop->startRecording(ringWav));
        QElapsedTimer clock;
        clock.start();
        const qint64 confirmed = submit(h, "Code Red", "Lobby", clock);
        QCOMPARE(shown(h.msg.boxes).last(), kSaved);
        QVERIFY2(QTest::qWaitFor(popupShown, 5000), "no popup");
        const qint64 shownAt = clock.elapsed();
        QVERIFY2(shownAt - confirmed < 1000,
                 qPrintable(QString("the popup came %1 ms after the confirmation").arg(shownAt - confirmed)));
        QTest::qWait(2000); // the ring plays to its end
        g_desktop->stopRecording();
        QVERIFY2(DesktopSession::peakDb(ringWav, 0, 1.5) > -50, "the alert did not ring at once");
        screenshot("wake-popup");

        // The receipt rides on the next poll; it and the check-in say how the workstation hears.
        QVERIFY2(QTest::qWaitFor([] { return testdb::scalar("SELECT COUNT(*) FROM receipts").toInt() == 1; }, 20000),
                 "no receipt within a poll");
        QCOMPARE(testdb::scalar("SELECT Channel FROM receiptorigins").toString(), QString("wake"));
        QVERIFY2(QTest::qWaitFor(
                     [] {
                         return testdb::scalar("SELECT COUNT(*) FROM workstationreports WHERE WakeConnected = 1 "
                                               "AND WakeBroker = '127.0.0.1:1883'")
                                    .toInt() == 1;
                     },
                     20000),
                 "the check-in does not say the workstation is connected");

        // What the operator sees of it: how the alert came and from where, and the workstation's
        // channel, address and state.
        // Closed however the checks end: a window left open would go on refreshing after the console
        // it belongs to has gone.
        auto closeWindows = qScopeGuard([] {
            if (hv::DeliveryWindow* w = hv::DeliveryWindow::current()) w->close();
            if (hv::WorkstationsWindow* w = hv::WorkstationsWindow::current()) w->close();
        });
        hv::DeliveryWindow* delivery = hv::DeliveryWindow::open(h.ctx);
        auto* list = delivery->findChild<QTreeWidget*>("lstDelivery");
        const auto sawDetail = [&] {
            return list->topLevelItemCount() > 0 && list->topLevelItem(0)->childCount() > 0
                       ? list->topLevelItem(0)->child(0)->text(3)
                       : QString();
        };
        QVERIFY2(QTest::qWaitFor([&] { return sawDetail().endsWith("by wake-up, from 127.0.0.1"); }, 10000),
                 qPrintable("the delivery window shows: " + sawDetail()));
        QTest::qWait(300);
        screenshot("frmDelivery-wake");
        delivery->close();
        hv::WorkstationsWindow* workstations = hv::WorkstationsWindow::open(h.ctx);
        QVERIFY(QTest::qWaitFor([&] { return workstations->model()->rowCount() == 1; }, 10000));
        const auto cell = [&](int column) { return workstations->model()->index(0, column).data().toString(); };
        QVERIFY(QTest::qWaitFor([&] { return !cell(hv::WorkstationsModel::Address).isEmpty(); }, 10000));
        // The forged messages of the case before are counted after it.
        QVERIFY2(cell(hv::WorkstationsModel::WakeUp).startsWith("connected to 127.0.0.1:1883"),
                 qPrintable(cell(hv::WorkstationsModel::WakeUp)));
        QCOMPARE(cell(hv::WorkstationsModel::Address), QString("127.0.0.1"));
        QTest::qWait(300);
        screenshot("frmWorkstations-wake");
    }

    // A cancellation closes the popup at once, not at the next poll.
    void cancelledAtOnce() {
        ConsoleKit h;
        h.started(m_consoleLines);
        h.form1->findChild<QAction*>("mnuCancelAlert")->trigger();
        hv::LoginWindow* login = hv::LoginWindow::current();
        QVERIFY(login);
        QVERIFY(QTest::qWaitForWindowExposed(login));
        typeInto(login, "Text1", "Admin");
        typeInto(login, "Text2", "Secret");
        clickButton(login, "Command1");
        hv::CancelWindow* w = hv::CancelWindow::current();
        QVERIFY(w);
        QCOMPARE(w->findChild<QTreeWidget*>("lstAlerts")->topLevelItemCount(), 1);
        QVERIFY(popupShown());
        h.msg.answers = {hv::Answer::Yes};
        QElapsedTimer clock;
        clock.start();
        clickButton(w, "cmdCancelAlert");
        QCOMPARE(h.titles().last(), QString("Alert Cancelled"));
        QVERIFY2(QTest::qWaitFor([] { return !popupShown(); }, 1000),
                 "the popup stayed for more than a second after the cancellation");
        w->close();
        // The polls find the cancellation in the database: it stays closed.
        QTest::qWait(16000);
        QVERIFY(!popupShown());
    }

    // A wake-up for an alert the database does not hold shows, and the polls take it down.
    void theDatabaseHasTheLastWord() {
        hv::SavedAlert a;
        a.alertId = 777777;
        a.codeDate = QDate::currentDate();
        a.codeTime = QTime(QTime::currentTime().hour(), QTime::currentTime().minute());
        a.codeName = "Not in the database";
        a.codeLocation = "Lobby";
        QCOMPARE(publish(m_consoleUser, m_consolePassword, hv::WakeMessage::alert("halvane", a).encode()), QString());
        QVERIFY2(QTest::qWaitFor(popupShown, 1000), "the wake-up showed nothing");
        // Two polls that reached the database: at most 30 s after the next one began.
        QVERIFY2(QTest::qWaitFor([] { return !popupShown(); }, 40000), "the unconfirmed alert stayed on screen");
        QCOMPARE(m_tray->state(), QProcess::Running);
    }

    // Without the broker the alert comes by poll, as it always did; once the broker is back the
    // workstation reconnects and the next alert is immediate again.
    void brokerDownThenBack() {
        seed(); // the earlier alerts go at the next poll
        QVERIFY(QTest::qWaitFor([] { return !popupShown(); }, 20000));
        wakeserver({"kill"});
        ConsoleKit h;
        h.clock.set(QDateTime::currentDateTime());
        h.started(m_consoleLines);
        QElapsedTimer clock;
        clock.start();
        const qint64 confirmed = submit(h, "Code Blue", "East Wing", clock);
        // The same boxes as ever, and no wait for the broker.
        QCOMPARE(h.titles(), QStringList({"Custom Message", "Halvane Saved"}));
        QCOMPARE(shown(h.msg.boxes).last(), kSaved);
        QVERIFY2(confirmed < 2000, "the submission waited for the broker");
        QVERIFY2(QTest::qWaitFor(popupShown, 17000), "no popup within a poll without the broker");

        int rc = 0;
        const QString out = wakeserver({"start", "--tls"}, &rc); // with a fresh log
        QVERIFY2(rc == 0, qPrintable(out));
        QVERIFY2(waitForTrayConnection(0, 30000), "the tray client did not come back to the broker");
        const QString ringWav = m_dir.filePath("again.wav");
        QVERIFY(g_desktop->startRecording(ringWav));
        h.clock.set(QDateTime::currentDateTime());
        submit(h, "Code Red", "Lobby", clock);
        QTest::qWait(2500);
        g_desktop->stopRecording();
        QVERIFY2(DesktopSession::peakDb(ringWav, 0, 1.2) > -50, "the next alert did not ring at once");
        QCOMPARE(m_tray->state(), QProcess::Running);
        m_tray->terminate();
        QVERIFY(m_tray->waitForFinished(10000));
    }
};

int main(int argc, char** argv) {
    DesktopSession::Options options;
    options.trayHost = true;
    options.audio = true;
    DesktopSession desktop(options);
    if (!desktop.startForThisProcess()) return 1;
    g_desktop = &desktop;
    QApplication app(argc, argv);
    TestWakeE2e test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_wake_e2e.moc"
