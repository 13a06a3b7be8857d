#include "ScriptedMessagePort.h"
#include "TableLock.h"
#include "TestDb.h"
#include "TrayFakes.h"
#include "TrayWindow.h"
#include "poll/Poller.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

#include <csignal>

using hv::TrayWindow;

namespace {

const QString kWrongPasswordText = "You entered an incorrect password. This application will now close.";

// Connections of this machine's clients to the database port that are open right now.
int openConnectionsToTheServer() {
    QFile f("/proc/net/tcp");
    if (!f.open(QIODevice::ReadOnly)) return -1;
    int n = 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> cols = line.simplified().split(' ');
        // remote address "IP:PORT" in hex, state 01 = established
        if (cols.size() > 3 && cols[2].endsWith(":0CEA") && cols[3] == "01") ++n;
    }
    return n;
}

} // namespace

class TestTrayWindow : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    ScriptedMessagePort msg;
    ScriptedExit exit;
    FakePopup* popup = nullptr;
    std::shared_ptr<RingLog> ringLog;
    std::unique_ptr<TrayWindow> form1;

    QString writeIni(const QByteArray& content) {
        const QString path = dir.filePath("halvane.ini");
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(content);
        return path;
    }

    TrayWindow& make(hv::TrayOptions options = {}) {
        if (options.iniPath.isEmpty()) options.iniPath = writeIni("MYSQLSERVERNAME=127.0.0.1\r\n");
        auto p = std::make_unique<FakePopup>();
        popup = p.get();
        auto log = ringLog;
        form1 = std::make_unique<TrayWindow>(
            msg, exit, std::move(p), [log](hv::MessagePort&) { return std::make_unique<FakeRing>(log); }, options);
        return *form1;
    }

    void compareBox(int i, const QString& title, const QString& text, hv::Buttons buttons, hv::Icon icon) {
        QVERIFY(msg.boxes.size() > i);
        QCOMPARE(msg.boxes[i].title, title);
        QCOMPARE(msg.boxes[i].text, text);
        QCOMPARE(msg.boxes[i].buttons, buttons);
        QCOMPARE(msg.boxes[i].icon, icon);
    }

    void addAlert(const QString& name) {
        testdb::exec("INSERT INTO alerts (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation, Comments) "
                     "SELECT ?, '', DATE(NOW() - INTERVAL 10 SECOND), TIME(NOW() - INTERVAL 10 SECOND), 'Lobby', ''",
                     {name});
    }

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void init() {
        REQUIRE_DB();
        testdb::reset();
        msg = ScriptedMessagePort();
        exit.ends = 0;
        ringLog = std::make_shared<RingLog>();
    }

    void cleanup() { form1.reset(); }

    void startPutsTheIconUpAndPolls() {
        TrayWindow& w = make();
        w.start();
        QVERIFY(msg.boxes.isEmpty());
        QCOMPARE(w.objectName(), "Form1");
        QCOMPARE(w.windowTitle(), "HALVANE");
        QVERIFY(!w.isVisible());
        QCOMPARE(w.findChild<QLineEdit*>("Text1")->text(), "Text1");
        auto* ok = w.findChild<QPushButton*>("Command1");
        QCOMPARE(ok->text(), "OK");
        QCOMPARE(ok->toolTip(), "Click here to send back to the system tray");
        auto* timer1 = w.findChild<QTimer*>("Timer1");
        QVERIFY(timer1->isActive());
        QCOMPARE(timer1->interval(), 15000);
        QCOMPARE(w.strDataPath, "127.0.0.1");

        QVERIFY(w.trayIcon()->isVisible());
        QTRY_COMPARE(w.trayIcon()->toolTip(), "Halvane test tip");
        QVERIFY(!w.trayIcon()->icon().isNull());
        QCOMPARE(w.trayIcon()->contextMenu(), w.trayMenu());
        QCOMPARE(w.trayMenu()->objectName(), "TrayMenu");
        QCOMPARE(w.trayMenu()->title(), "Menu");
        const auto items = w.trayMenu()->actions();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0]->objectName(), "mnuTestSound");
        QCOMPARE(items[0]->text(), "Test Sound");
        QCOMPARE(items[1]->objectName(), "Ex");
        QCOMPARE(items[1]->text(), "Exit");
        QCOMPARE(ringLog->created, 1);

        // "Test Sound" rings through the volume object.
        items[0]->trigger();
        QTRY_COMPARE(ringLog->rings, 1);
    }

    void tooltipFromProperties_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("null") << QVariant(QMetaType::fromType<QString>()) << "";
        QTest::newRow("empty") << QVariant("") << "";
        QTest::newRow("64") << QVariant(QString(64, 'x')) << QString(64, 'x');
        QTest::newRow("cut at 64") << QVariant(QString(60, 'a') + "bcdefgh") << QString(60, 'a') + "bcde";
        QTest::newRow("markup stays text") << QVariant("<b>Halvane</b> & co") << "<b>Halvane</b> & co";
    }
    void tooltipFromProperties() {
        QFETCH(QVariant, stored);
        QFETCH(QString, shown);
        testdb::exec("UPDATE properties SET TraysToolTipText = ?", {stored});
        TrayWindow& w = make();
        w.start();
        QTRY_VERIFY(!w.poller()->tooltipPending());
        QVERIFY(msg.boxes.isEmpty());
        QTextDocument doc;
        doc.setHtml(w.trayIcon()->toolTip());
        const QString seen = Qt::mightBeRichText(w.trayIcon()->toolTip()) ? doc.toPlainText() : w.trayIcon()->toolTip();
        QCOMPARE(seen, shown);
        QVERIFY(w.timer()->isActive());
    }

    void missingIniEndsAfterItsMessage() {
        hv::TrayOptions o;
        o.iniPath = dir.filePath("nowhere/halvane.ini");
        TrayWindow& w = make(o);
        w.start();
        QCOMPARE(msg.boxes.size(), 1);
        compareBox(0, "Halvane c:\\halvane.ini error",
                   "The file C:\\halvane.ini was not found. The halvane.ini should only have one line of text in it "
                   "in the following format. MYSQLSERVERNAME=ServerComputerName. Have it all on the first line with "
                   "no periods, spaces or quotes. So just use MYSQLSERVERNAME= then the name of the networked "
                   "computer, host name, that is running the MYSQL server that should have already been installed. "
                   "This workstation and the MySQL server needs to either have the firewall off, or allow port 3306. "
                   "Please contact your computer administrator.",
                   hv::Buttons::Ok, hv::Icon::Information);
        QCOMPARE(exit.ends, 1);
        QVERIFY(!w.trayIcon()->isVisible());
        QVERIFY(!w.timer()->isActive());
    }

    void emptyIniStartsSilentlyWithoutHost() {
        hv::TrayOptions o;
        o.iniPath = writeIni("");
        TrayWindow& w = make(o);
        w.start();
        QVERIFY(msg.boxes.isEmpty());
        QCOMPARE(exit.ends, 0);
        QCOMPARE(w.strDataPath, "");
        QVERIFY(w.trayIcon()->isVisible());
        QCOMPARE(w.trayIcon()->toolTip(), "");
        // It keeps polling, so that fixing the file and the server needs no visit to every desk.
        QVERIFY(w.timer()->isActive());
    }

    // The lines after the first are read by one rule (here a node indented and in lower case);
    // a line meant as a setting but not read is a warning on standard error, never a box.
    void furtherLinesReadAndOneReported() {
        hv::TrayOptions o;
        o.iniPath = writeIni("MYSQLSERVERNAME=" + testdb::hostUnreachable().toLatin1() +
                             "\r\n  mysqlservername=127.0.0.1\r\nMORVIK_USER=halvane_tray\r\n");
        QTest::ignoreMessage(QtWarningMsg, qPrintable(o.iniPath + ", line 3: \"MORVIK_USER\" is not a key (is "
                                                                  "MORVIKUSER meant?): the line is not read."));
        TrayWindow& w = make(o);
        w.start();
        QVERIFY(msg.boxes.isEmpty());
        QCOMPARE(w.furtherServers, QStringList{"127.0.0.1"});
        QVERIFY(w.access.user.isEmpty());
        // The tooltip comes from the node the further line names.
        QTRY_COMPARE(w.trayIcon()->toolTip(), "Halvane test tip");
    }

    void badIconPictureAsksForReinstall() {
        hv::TrayOptions o;
        o.icon32 = "this is not a picture";
        TrayWindow& w = make(o);
        w.start();
        QCOMPARE(msg.boxes.size(), 1);
        compareBox(0, "Wrong Password", "Please reinstall this application.", hv::Buttons::Ok, hv::Icon::Critical);
        QCOMPARE(exit.ends, 1);
        QVERIFY(!w.trayIcon()->isVisible());
        QVERIFY(!w.timer()->isActive());
    }

    void refusedLoginAtStartEnds() {
        testdb::WrongPassword refused;
        TrayWindow& w = make();
        w.start();
        QTRY_COMPARE(exit.ends, 1);
        QCOMPARE(msg.boxes.size(), 1);
        compareBox(0, "Wrong Password", kWrongPasswordText, hv::Buttons::Ok, hv::Icon::Critical);
        QCOMPARE(exit.ends, 1);
        QVERIFY(!w.trayIcon()->isVisible());
        QVERIFY(!w.timer()->isActive());
    }

    void unreachableAtStartPollsAnywayAndReadsTooltipLater() {
        testdb::exec("UPDATE properties SET TraysToolTipText = 'Read later'");
        QVERIFY2(testdb::stopServer(), "could not stop the test server");
        hv::TrayOptions o;
        o.pollIntervalMs = 300;
        TrayWindow& w = make(o);
        w.start();
        QVERIFY(msg.boxes.isEmpty());
        QCOMPARE(exit.ends, 0);
        QVERIFY(w.trayIcon()->isVisible());
        QCOMPARE(w.trayIcon()->toolTip(), "");
        QVERIFY(w.timer()->isActive());

        QSignalSpy polled(w.poller(), &hv::Poller::pollEnded);
        QVERIFY(polled.wait(20000));
        QVERIFY(!popup->open);
        QCOMPARE(w.trayIcon()->toolTip(), "");

        QVERIFY2(testdb::startServer(), "could not start the test server again");
        REQUIRE_DB();
        addAlert("Code Red");
        QTRY_VERIFY_WITH_TIMEOUT(popup->open, 20000);
        QTRY_COMPARE(w.trayIcon()->toolTip(), "Read later");
        QVERIFY(popup->shown.last().contains(" - CODE Code Red\r\nLocation = Lobby\r\n"));
        QCOMPARE(ringLog->rings, 1);
        QVERIFY(msg.boxes.isEmpty());
    }

    void exitAsksThenNoKeepsRunningAndYesEnds() {
        msg.answers = {hv::Answer::No, hv::Answer::Yes};
        TrayWindow& w = make();
        w.start();
        QSignalSpy ended(&w, &TrayWindow::ended);
        auto* ex = w.findChild<QAction*>("Ex");

        ex->trigger();
        QCOMPARE(msg.boxes.size(), 1);
        compareBox(0, "Halvane - Are You Sure?",
                   "If you close this application this computer will not receive Halvanes until it is restarted. Are "
                   "you sure you want to close Halvane?",
                   hv::Buttons::YesNo, hv::Icon::None);
        QCOMPARE(ended.size(), 0);
        QVERIFY(w.trayIcon()->isVisible());
        QVERIFY(w.timer()->isActive());
        QCOMPARE(ringLog->released, 0);

        popup->showAlerts("an alert", &w);
        ex->trigger();
        QCOMPARE(msg.boxes.size(), 2);
        QCOMPARE(msg.boxes[1].title, "Halvane - Are You Sure?");
        QCOMPARE(ended.size(), 1);
        QVERIFY(!w.trayIcon()->isVisible());
        QVERIFY(!w.timer()->isActive());
        QVERIFY(!popup->open);
        QCOMPARE(ringLog->released, 1);
        QCOMPARE(exit.ends, 0);
    }

    void sessionEndWithoutQuestion() {
        TrayWindow& w = make();
        w.start();
        popup->showAlerts("an alert", &w);
        QSignalSpy ended(&w, &TrayWindow::ended);
        w.endSession();
        QVERIFY(msg.boxes.isEmpty());
        QCOMPARE(ended.size(), 1);
        QVERIFY(!w.trayIcon()->isVisible());
        QVERIFY(!w.timer()->isActive());
        QVERIFY(!popup->open);
        QCOMPARE(ringLog->released, 1);
        // A close that the session's end sends afterwards asks nothing either.
        w.close();
        QVERIFY(msg.boxes.isEmpty());
    }

    void refusedLoginDuringPollEndsWithoutAnotherPoll() {
        hv::TrayOptions o;
        o.pollIntervalMs = 20;
        TrayWindow& w = make(o);
        w.start();
        QVERIFY(msg.boxes.isEmpty());
        QSignalSpy started(w.poller(), &hv::Poller::pollStarted);
        testdb::WrongPassword refused;
        int startedWhileBoxOpen = -1;
        bool iconWhileBoxOpen = true;
        // The box keeps the event loop turning for many timer intervals.
        msg.onShow = [&](const ShownBox&) {
            iconWhileBoxOpen = w.trayIcon()->isVisible();
            const int before = started.size();
            QEventLoop loop;
            QTimer::singleShot(400, &loop, &QEventLoop::quit);
            loop.exec();
            startedWhileBoxOpen = started.size() - before;
        };
        QTRY_COMPARE_WITH_TIMEOUT(exit.ends, 1, 20000);
        QCOMPARE(msg.boxes.size(), 1);
        compareBox(0, "Wrong Password", kWrongPasswordText, hv::Buttons::Ok, hv::Icon::Critical);
        QVERIFY(!iconWhileBoxOpen);
        QCOMPARE(startedWhileBoxOpen, 0);
        QVERIFY(!w.timer()->isActive());
    }

    void lockedSettingsAtStartDoNotDelayAnAlert() {
        testdb::exec("UPDATE properties SET TraysToolTipText = 'Read after the lock'");
        // Every table but alerts locked by another session, as a long ALTER TABLE or a backup
        // would hold them; the tray starts during the lock, with its usual 15-second timer.
        TableLock lock({"properties", "codes", "locations", "users", "AlertLog"});
        TrayWindow& w = make();
        w.start();
        QSignalSpy started(w.poller(), &hv::Poller::pollStarted);
        QSignalSpy ended(w.poller(), &hv::Poller::pollEnded);
        QTest::qWait(1000);
        addAlert("Code Red");
        QElapsedTimer sinceAlert;
        sinceAlert.start();

        // The first poll shows it, although neither the start's read nor this poll's could read
        // the tooltip.
        QTRY_VERIFY_WITH_TIMEOUT(popup->open, 30000);
        qInfo("popup %lld ms after the alert was stored, with the settings table locked", sinceAlert.elapsed());
        QCOMPARE(started.size(), 1);
        QVERIFY(popup->shown.last().contains(" - CODE Code Red\r\nLocation = Lobby\r\n"));
        QTRY_COMPARE(ringLog->rings, 1);
        QCOMPARE(w.trayIcon()->toolTip(), "");
        QVERIFY(msg.boxes.isEmpty());

        // Once the lock is gone, a later poll reads the tooltip.
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
        lock.release();
        w.poller()->tick();
        QTRY_COMPARE_WITH_TIMEOUT(w.trayIcon()->toolTip(), "Read after the lock", 20000);
        QCOMPARE(ringLog->rings, 1);
        QVERIFY(msg.boxes.isEmpty());
    }

    void sessionEndDoesNotWaitForAStalledServer() {
        TrayWindow& w = make();
        w.start();
        QTRY_VERIFY(!w.poller()->tooltipPending());
        QFile pidFile(qEnvironmentVariable("HALVANE_STATE") + "/db/mariadb.pid");
        QVERIFY2(pidFile.open(QIODevice::ReadOnly), "the test server's pid file is not there");
        const pid_t server = pid_t(pidFile.readAll().trimmed().toLongLong());
        QVERIFY(server > 0);
        // The server stops answering (as a hung or overloaded one would) while a poll waits for it.
        QCOMPARE(::kill(server, SIGSTOP), 0);
        auto resume = qScopeGuard([server] { ::kill(server, SIGCONT); });
        const int before = openConnectionsToTheServer();
        QVERIFY(before >= 0);
        w.poller()->tick();
        QTRY_VERIFY(openConnectionsToTheServer() > before);

        QSignalSpy ended(&w, &TrayWindow::ended);
        w.endSession();
        QCOMPARE(ended.size(), 1);
        QVERIFY(msg.boxes.isEmpty());
        QVERIFY(!w.trayIcon()->isVisible());
        QVERIFY(!w.timer()->isActive());
        // The poll was left to itself; the ring, idle, went with its thread.
        QVERIFY(w.workLeftBehind());
        QCOMPARE(ringLog->released, 1);
    }
};

QTEST_MAIN(TestTrayWindow)
#include "tst_tray_window.moc"
