// An alert taken back: the console's windows live in this test on a real desktop (X server, window
// manager, tray host, audio server) beside a real tray client, against the private database.
#include "Connection.h"
#include "ConsoleKit.h"
#include "DesktopSession.h"
#include "Formats.h"
#include "TrayStore.h"
#include "admin/LoginWindow.h"
#include "cancel/CancelWindow.h"
#include "delivery/DeliveryBreakdown.h"
#include "delivery/DeliveryReports.h"
#include "delivery/DeliveryWindow.h"
#include "reports/PrinterPort.h"
#include "reports/ReportDefinition.h"
#include "reports/ReportWriter.h"
#include "shared/ConsoleTexts.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QPageSize>
#include <QPushButton>
#include <QSysInfo>
#include <QTreeWidget>
#include <QtTest>

using hv::Answer;
using hv::Buttons;
using hv::CancelWindow;
using hv::Icon;

namespace {

DesktopSession* g_desktop = nullptr;

// The tray client's popup: a visible 380 x 120 window of Morvik.
bool popupShown() {
    const QStringList ids =
        g_desktop->run("xdotool", {"search", "--onlyvisible", "--class", "Morvik"}).split('\n', Qt::SkipEmptyParts);
    for (const QString& id : ids)
        if (g_desktop->run("xdotool", {"getwindowgeometry", id}).contains("Geometry: 380x120")) return true;
    return false;
}

const QString kSaved = "Halvane Saved | The new halvane record has been saved to the database. | Ok | Information";

} // namespace

class TestCancelE2e : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    void screenshot(const QString& name) {
        const QString dir = qEnvironmentVariable("HALVANE_BINARY_DIR") + "/screenshots";
        QDir().mkpath(dir);
        QVERIFY2(g_desktop->screenshot(dir + "/" + name + ".png"), "import (imagemagick) made no screenshot");
    }

    static void seed() {
        testdb::reset();
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('Code Red', 'Go to your posts.')");
        testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('Lobby')");
        testdb::exec("INSERT INTO users (UserName, Password) VALUES ('Admin', 'Secret')");
    }

    // Edit > "Cancel An Alert", then the login as the administration window asks for it.
    static CancelWindow* openCancelWindow(ConsoleKit& h) {
        h.form1->findChild<QAction*>("mnuCancelAlert")->trigger();
        hv::LoginWindow* login = hv::LoginWindow::current();
        if (!login) qFatal("no login window");
        if (!QTest::qWaitForWindowExposed(login)) qFatal("the login window did not show");
        typeInto(login, "Text1", "Admin");
        typeInto(login, "Text2", "Secret");
        clickButton(login, "Command1");
        CancelWindow* w = CancelWindow::current();
        if (!w) qFatal("the login did not open the cancel window");
        if (!QTest::qWaitForWindowExposed(w)) qFatal("the cancel window did not show");
        return w;
    }

    static QStringList listed(CancelWindow* w) {
        QStringList rows;
        auto* list = w->findChild<QTreeWidget*>("lstAlerts");
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            QStringList cells;
            for (int c = 0; c < list->columnCount(); ++c)
                cells << list->topLevelItem(i)->text(c);
            rows << cells.join(" | ");
        }
        return rows;
    }

private slots:
    void initTestCase() {
        REQUIRE_DB();
        QVERIFY(m_dir.isValid());
        qputenv("Temp", QFile::encodeName(m_dir.path()));
    }

    void cleanup() {
        if (CancelWindow* w = CancelWindow::current()) w->close();
        QTest::qWait(50);
    }

    void cancelledAlertLeavesTheDesktop() {
        seed();
        // The tray client as installed: its own copy beside its own halvane.ini.
        const QString morvik = m_dir.filePath("Morvik");
        QVERIFY(QFile::copy(qEnvironmentVariable("HALVANE_BINARY_DIR") + "/tray/Morvik", morvik));
        QFile ini(m_dir.filePath("halvane.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("MYSQLSERVERNAME=127.0.0.1\r\n");
        ini.close();
        QVERIFY(g_desktop->setSinkMuted(false));
        QVERIFY(g_desktop->setSinkVolume(65536));
        QProcess* tray = g_desktop->launch(morvik, {});
        QVERIFY(tray);

        // The operator sends the alert from this console, by the real clock.
        ConsoleKit h;
        h.clock.set(QDateTime::currentDateTime());
        h.started();
        h.choose("Code Red", "Lobby");
        const QString ringWav = m_dir.filePath("ring.wav");
        QVERIFY(g_desktop->startRecording(ringWav));
        h.form1->Command1_Click();
        QCOMPARE(shown(h.msg.boxes).last(), kSaved);
        QVERIFY2(QTest::qWaitFor(popupShown, 20000), "no popup within one poll");
        QTest::qWait(3000); // the ring plays to its end
        g_desktop->stopRecording();
        QVERIFY2(DesktopSession::peakDb(ringWav) > -50, "the alert did not ring");
        const qint64 alertId = testdb::scalar("SELECT ID FROM alerts").toLongLong();
        const qint64 logId = testdb::scalar("SELECT ID FROM AlertLog").toLongLong();

        // It is listed, chosen already as the latest, and cancelled on Yes.
        CancelWindow* w = openCancelWindow(h);
        const auto sent = testdb::rows("SELECT CodeDate, CodeTime FROM alerts").front();
        const QString time = hv::formatAmPm(sent.value(1).toTime());
        QCOMPARE(listed(w), QStringList({hv::formatMonthDayYear(sent.value(0).toDate()) + " | " + time +
                                         " | Code Red | Lobby | "}));
        QVERIFY(!w->findChild<QLabel*>("lblNone")->isVisible());
        QTest::qWait(500);
        screenshot("frmCancel");
        const QString quietWav = m_dir.filePath("quiet.wav");
        QVERIFY(g_desktop->startRecording(quietWav));
        h.msg.boxes.clear();
        h.msg.answers = {Answer::Yes};
        clickButton(w, "cmdCancelAlert");
        QCOMPARE(shown(h.msg.boxes),
                 QStringList({box("Cancel Alert",
                                  "Cancel this alert on every workstation?\n\n" + time +
                                      " - CODE Code Red\nLocation = Lobby\n\nEach workstation closes its popup at its "
                                      "next poll. The alert stays in the log.",
                                  Buttons::YesNo, Icon::Question),
                              box("Alert Cancelled",
                                  "The alert has been cancelled. Each workstation closes its popup at its next poll; "
                                  "nothing rings.",
                                  Buttons::Ok, Icon::Information)}));
        // Read again: nothing is left to cancel.
        QCOMPARE(listed(w), QStringList());
        QVERIFY(w->findChild<QLabel*>("lblNone")->isVisible());
        QVERIFY(!w->findChild<QPushButton*>("cmdCancelAlert")->isEnabled());

        // The popup goes at the next poll, well inside the alert's three minutes, without a sound.
        QVERIFY2(QTest::qWaitFor([] { return !popupShown(); }, 20000), "the popup stayed after the cancel");
        QTest::qWait(16000); // and the poll after it neither shows nor rings it again
        g_desktop->stopRecording();
        QVERIFY(!popupShown());
        QVERIFY2(DesktopSession::peakDb(quietWav) < -70, "something rang after the cancel");
        QCOMPARE(tray->state(), QProcess::Running);
        tray->terminate();
        QVERIFY(tray->waitForFinished(10000));

        // The alert's rows stay; the cancellation names it, its log row and the login.
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM alerts").toInt(), 1);
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM AlertLog").toInt(), 1);
        const auto c = testdb::rows("SELECT AlertID, LogID, CodeDate, CodeTime, CancelledBy, HostName, "
                                    "TIMESTAMPDIFF(SECOND, CancelledAt, NOW()) AS Ago FROM cancellations");
        QCOMPARE(c.size(), 1);
        QCOMPARE(c[0].value("AlertID").toLongLong(), alertId);
        QCOMPARE(c[0].value("LogID").toLongLong(), logId);
        QCOMPARE(c[0].value("CodeDate").toDate(), sent.value(0).toDate());
        QCOMPARE(c[0].value("CodeTime").toTime(), sent.value(1).toTime());
        QCOMPARE(c[0].value("CancelledBy").toString(), QString("Admin"));
        QCOMPARE(c[0].value("HostName").toString(), QSysInfo::machineHostName());
        QVERIFY(c[0].value("Ago").toInt() >= 0 && c[0].value("Ago").toInt() < 120);

        // The log report says who cancelled it and when, after the record's own lines.
        const auto at = testdb::rows("SELECT CancelledAt FROM cancellations").front().value(0).toDateTime();
        const hv::PrinterPort pdf = hv::PrinterPort::pdfFile(m_dir.filePath("r.pdf"), "r", QPageSize(QPageSize::A4));
        hv::ReportWriter(h.ctx.database(), pdf, QDate::currentDate())
            .write(hv::ReportDefinition::forKind(hv::ReportKind::AllAlerts));
        const QStringList lines = fileLines(m_dir.filePath("report.txt"));
        const qsizetype comments = lines.indexOf("Code Comments: Go to your posts.");
        QVERIFY(comments > 0);
        QCOMPARE(lines.mid(comments + 1, 3), QStringList({"Cancelled By:  Admin",
                                                          "Cancelled At:  " + hv::formatMonthDayYear(at.date()) + ' ' +
                                                              hv::formatAmPm(at.time(), true),
                                                          hv::ReportWriter::kRuleLine}));

        // The delivery window and its report say it too, with the computer it was cancelled on.
        const QString by = "Admin on " + QSysInfo::machineHostName();
        const QString when = hv::formatMonthDayYear(at.date()) + ' ' + hv::formatAmPm(at.time(), true);
        hv::DeliveryWindow* delivery = hv::DeliveryWindow::open(h.ctx);
        auto* alertLabel = delivery->findChild<QLabel*>("lblAlert");
        QVERIFY2(QTest::qWaitFor([&] { return alertLabel->text().contains("Cancelled By:"); }, 10000),
                 qPrintable("the delivery window shows: " + alertLabel->text()));
        QCOMPARE(alertLabel->text().split('\n').last(), "Cancelled By: " + by + "    Cancelled At: " + when);
        QTest::qWait(500); // drawn
        screenshot("frmDelivery-cancelled");
        hv::DeliveryStore store(h.ctx.servers(), h.ctx.access);
        const hv::DeliveryStore::Delivery d = store.deliveryOf(*store.latestAlert());
        const QStringList summary = hv::DeliveryReports::delivery(d, hv::DeliveryBreakdown::of(d)).summary;
        QCOMPARE(summary.mid(1, 2),
                 QStringList({"Cancelled By:              " + by, "Cancelled At:              " + when}));
        delivery->close();
    }

    void cancelThatCannotBeStored() {
        seed();
        ConsoleKit h;
        h.clock.set(QDateTime::currentDateTime());
        h.started();
        h.choose("Code Red", "Lobby");
        h.form1->Command1_Click();
        // Two workstations said lately that their poll cannot read the cancellations; a third said
        // so a day ago and has been set right since.
        testdb::exec("INSERT INTO workstationreports (HostName, DesktopUser, Address, ReportedAt, Unreadable) VALUES "
                     "('ws-1', 'a', '10.0.0.1', NOW(), 'cancellations, traysettings'), ('ws-2', 'b', '10.0.0.2', "
                     "NOW(), 'cancellations'), ('ws-3', 'c', '10.0.0.3', NOW() - INTERVAL 1 DAY, 'cancellations')");
        CancelWindow* w = openCancelWindow(h);
        QCOMPARE(listed(w).size(), 1);
        QVERIFY(w->findChild<QLabel*>("lblBlind")->isVisible());
        QCOMPARE(w->findChild<QLabel*>("lblBlind")->text(),
                 QString("2 workstations cannot see cancellations: they keep showing a cancelled alert until its three "
                         "minutes are over. Run the accounts script again on the database server (see the README)."));
        screenshot("frmCancel-blind");

        // The console may read but not write: the box says so and nothing changes.
        h.msg.boxes.clear();
        h.msg.answers = {Answer::Yes};
        {
            testdb::ReadOnlyRights readOnly;
            clickButton(w, "cmdCancelAlert");
        }
        QCOMPARE(shown(h.msg.boxes).mid(1),
                 QStringList({box("Alert Not Cancelled",
                                  "The alert has not been cancelled: the workstations go on showing it. The MYSQL "
                                  "database denied permission for this. Contact your computer administrator",
                                  Buttons::Ok, Icon::Critical)}));
        QCOMPARE(h.exit.ends, 0);
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM cancellations").toInt(), 0);
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM alerts").toInt(), 1);
        QCOMPARE(listed(w).size(), 1);
        QVERIFY(w->isVisible());
    }

    void databaseOlderThanCancelling() {
        seed();
        testdb::exec("INSERT INTO alerts (CodeName, CodeDate, CodeTime, CodeLocation) "
                     "SELECT 'Code Red', CURRENT_DATE, TIME(NOW() - INTERVAL 5 SECOND), 'Lobby'");
        testdb::exec("DROP TABLE cancellations");

        // The tray client's poll shows the alert as before.
        hv::Connection conn(hv::DatabaseNode(testdb::host()));
        hv::TrayStore store(hv::ServerList::forHosts(testdb::host()));
        const hv::PollSnapshot r = store.readAlerts(conn);
        QVERIFY(!r.failure);
        QCOMPARE(r.alerts.size(), 1);
        QCOMPARE(r.alerts.front().codeName, QString("Code Red"));
        QVERIFY(!r.cancellationsRead);

        // The console says what is missing instead of offering what it cannot record.
        ConsoleKit h;
        h.started();
        CancelWindow* w = openCancelWindow(h);
        QCOMPARE(shown(h.msg.boxes),
                 QStringList({box("Database Error",
                                  "The alerts could not be read from the database. The MYSQL database has no table for "
                                  "cancelled alerts yet; upgrade.sql adds it. Contact your computer administrator",
                                  Buttons::Ok, Icon::Critical)}));
        QCOMPARE(listed(w), QStringList());

        // The upgrade adds the table, twice as well as once, and leaves the rows as they were.
        QString out;
        QVERIFY2(testdb::applyUpgrade(&out), qPrintable(out));
        QVERIFY2(testdb::applyUpgrade(&out), qPrintable(out));
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM cancellations").toInt(), 0);
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM alerts").toInt(), 1);
        QCOMPARE(testdb::scalar("SELECT TraysToolTipText FROM properties").toString(), QString("Halvane test tip"));
        h.msg.boxes.clear();
        clickButton(w, "cmdRefresh");
        QCOMPARE(h.msg.boxes.size(), 0);
        QCOMPARE(listed(w).size(), 1);
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
    TestCancelE2e test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cancel_e2e.moc"
