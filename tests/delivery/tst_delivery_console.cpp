// The console's delivery and workstations windows against the private server: opened from the
// main window's menu, sorted into their groups, refreshed by themselves, reaching an alert of an
// earlier day after the console's purge, written as reports, and quiet on a database made before
// the delivery tables existed.
#include "AlertStore.h"
#include "ConsoleKit.h"
#include "DeliveryStore.h"
#include "delivery/DeliveryWindow.h"
#include "delivery/WorkstationsModel.h"
#include "delivery/WorkstationsWindow.h"
#include "reports/PrinterPort.h"
#include "reports/ReportViewer.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeView>
#include <QTreeWidget>

using hv::DeliveryWindow;
using hv::WorkstationsWindow;

namespace {

const QString kRule(79, u'_');

// Every line of the delivery list: a group's own line, then "host | user | when | detail" for each
// workstation in it.
QStringList listLines(QTreeWidget* list) {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* group = list->topLevelItem(i);
        out << group->text(0);
        for (int j = 0; j < group->childCount(); ++j) {
            QTreeWidgetItem* w = group->child(j);
            out << QStringList{w->text(0), w->text(1), w->text(2), w->text(3)}.join(" | ");
        }
    }
    return out;
}

void insertAlert(const char* table, const QString& name, const QString& location, const QString& date,
                 const QString& time, const QVariant& message) {
    testdb::exec(QString("INSERT INTO %1 (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation, Comments) VALUES "
                         "(?, ?, ?, ?, ?, 'Standing text')")
                     .arg(table),
                 {name, message, date, time, location});
}

void insertWorkstation(const QString& host, const QString& user, const QString& firstCheckIn,
                       const QString& lastCheckIn, const QVariant& failure = {}) {
    testdb::exec("INSERT INTO workstations (HostName, DesktopUser, ProgramVersion, FirstCheckIn, LastCheckIn, "
                 "CheckInSeconds, PollSeconds, LastPollFailure, LastPollFailureAt, SoundDevice, VolumeReadable, "
                 "MuteReadable) VALUES (?, ?, '1.0.0', " +
                     firstCheckIn + ", " + lastCheckIn + ", 60, 15, ?, IF(? IS NULL, NULL, '2026-11-30 14:02:00'), " +
                     (host == "ws-b" ? "0, 0, 0)" : "1, 1, 1)"),
                 {host, user, failure, failure});
}

void insertReceipt(const QString& date, const QString& time, int alertId, const QString& host, const QString& user,
                   const QString& name, const QString& location, const QString& shown, const QVariant& result,
                   const QVariant& reason, const QVariantList& volumes, const QVariantList& mutes, const QVariant& rang,
                   const QVariant& closed) {
    testdb::exec("INSERT INTO receipts (CodeDate, CodeTime, AlertID, HostName, DesktopUser, CodeName, CodeLocation, "
                 "ShownAt, RingResult, RingReason, VolumeBefore, VolumeDuring, VolumeAfter, MuteLifted, MuteRestored, "
                 "RangAt, ClosedAt) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                 {date, time, alertId, host, user, name, location, shown, result, reason, volumes[0], volumes[1],
                  volumes[2], mutes[0], mutes[1], rang, closed});
}

} // namespace

class TestDeliveryConsole : public QObject {
    Q_OBJECT

    QTemporaryDir m_temp;
    hv::PrinterPort m_pdf = hv::PrinterPort::none();
    std::unique_ptr<ConsoleKit> m_kit;

    QString reportPath() const { return m_temp.path() + QStringLiteral("/report.txt"); }

    // A facility where the Code Red drill of 30 November reached three of five workstations, and
    // the Drill of 1 December, the log's latest alert, one.
    static void seed() {
        insertAlert("alerts", "Code Red", "East Wing", "2026-11-30", "14:03", "Use the north stairs");
        insertAlert("alerts", "Drill", "Lobby", "2026-12-01", "09:00", QVariant());
        // The log's own IDs differ from the live table's, as they do after purges and restarts.
        testdb::exec("ALTER TABLE AlertLog AUTO_INCREMENT = 40");
        insertAlert("AlertLog", "Code Red", "East Wing", "2026-11-30", "14:03", "Use the north stairs");
        insertAlert("AlertLog", "Drill", "Lobby", "2026-12-01", "09:00", QVariant());
        const int red = testdb::scalar("SELECT ID FROM alerts WHERE CodeName = 'Code Red'").toInt();
        const int drill = testdb::scalar("SELECT ID FROM alerts WHERE CodeName = 'Drill'").toInt();

        insertWorkstation("ws-a", "nurse", "'2026-11-01 08:00:00'", "NOW()");
        insertWorkstation("ws-b", "clerk", "'2026-11-01 08:00:00'", "NOW()");
        insertWorkstation("ws-c", "guard", "'2026-11-01 08:00:00'", "NOW()");
        insertWorkstation("ws-d", "desk", "'2026-11-01 08:00:00'", "NOW()", "-2147217911 SELECT command denied");
        insertWorkstation("ws-e", "lab", "'2026-11-01 08:00:00'", "'2026-11-30 13:00:05'");
        // Installed after both alerts: it cannot have missed them.
        insertWorkstation("ws-f", "new", "'2026-12-02 10:00:00'", "NOW()");

        insertReceipt("2026-11-30", "14:03", red, "ws-a", "nurse", "Code Red", "East Wing", "2026-11-30 14:03:16.250",
                      "played", QVariant(), {5000, 15000, 5000}, {1, 1}, "2026-11-30 14:03:18", "2026-11-30 14:03:40");
        insertReceipt("2026-11-30", "14:03", red, "ws-b", "clerk", "Code Red", "East Wing", "2026-11-30 14:03:17",
                      "no device", QVariant(), {QVariant(), QVariant(), QVariant()}, {QVariant(), QVariant()},
                      "2026-11-30 14:03:17", QVariant());
        insertReceipt("2026-11-30", "14:03", red, "ws-c", "guard", "Code Red", "East Wing", "2026-11-30 14:03:20",
                      "failed", "Device or resource busy", {40000, 40000, 40000}, {0, QVariant()},
                      "2026-11-30 14:03:21", QVariant());
        insertReceipt("2026-12-01", "09:00", drill, "ws-a", "nurse", "Drill", "Lobby", "2026-12-01 09:00:15", "played",
                      QVariant(), {40000, 40000, 40000}, {0, QVariant()}, "2026-12-01 09:00:17", QVariant());
    }

    DeliveryWindow* openDelivery() {
        m_kit->form1->findChild<QAction*>("mnuAlertDelivery")->trigger();
        DeliveryWindow* w = DeliveryWindow::current();
        if (w && !QTest::qWaitForWindowExposed(w)) qWarning("the delivery window was not exposed");
        return w;
    }

    static QTreeWidget* list(QWidget* w) { return w->findChild<QTreeWidget*>("lstDelivery"); }
    static QString label(QWidget* w, const char* name) { return w->findChild<QLabel*>(name)->text(); }

private slots:
    void initTestCase() {
        QVERIFY(m_temp.isValid());
        QCOMPARE(QLocale::system().name(), QStringLiteral("en_US"));
        m_pdf = hv::PrinterPort::pdfFile(m_temp.path() + "/printed.pdf", "Test Printer");
    }

    void init() {
        REQUIRE_DB();
        testdb::reset();
        testdb::exec("ALTER TABLE AlertLog AUTO_INCREMENT = 1");
        qputenv("Temp", QFile::encodeName(m_temp.path()));
        m_kit = std::make_unique<ConsoleKit>();
        m_kit->ctx.printer = &m_pdf;
        m_kit->clock.set(QDateTime(QDate(2026, 12, 7), QTime(10, 0)));
        m_kit->started();
    }

    void cleanup() {
        hv::ReportViewer::closeCurrent();
        if (DeliveryWindow* w = DeliveryWindow::current()) w->close();
        if (WorkstationsWindow* w = WorkstationsWindow::current()) w->close();
        m_kit.reset();
        QString out;
        QVERIFY2(testdb::applyUpgrade(&out), qPrintable(out));
    }

    void latestAlertSortedIntoGroupsAndRefreshed() {
        seed();
        DeliveryWindow* w = openDelivery();
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("Alert Delivery"));
        QTRY_COMPARE(label(w, "lblAlert"), QStringLiteral("12/01/2026 9:00 AM - CODE Drill - Location = Lobby"));
        QCOMPARE(w->findChild<QComboBox*>("cboAlert")->currentText(), QStringLiteral("Most recent alert"));
        QCOMPARE(w->findChild<QDateEdit*>("dtpDay")->date(), QDate(2026, 12, 1));
        QCOMPARE(w->findChild<QComboBox*>("cboAlert")->itemText(1),
                 QStringLiteral("9:00 AM - CODE Drill - Location = Lobby"));
        QCOMPARE(label(w, "lblCounts"),
                 QStringLiteral("Saw it: 1    Rang: 1    Failed to ring: 0    Closed the popup: 0    Checking in, "
                                "not seen yet: 3    Silent: 1"));
        const QStringList lines = listLines(list(w));
        QCOMPARE(lines.mid(0, 6), QStringList({"Saw it (1)", "ws-a | nurse | 9:00:15 AM | rang", "Rang (1)",
                                               "ws-a | nurse | 9:00:17 AM | volume 40000; not muted",
                                               "Failed to ring (0)", "Closed the popup (0)"}));
        QCOMPARE(lines[6], QStringLiteral("Checking in, not seen yet (3)"));
        const QRegularExpression checkingIn("^ws-([bcd]) \\| (clerk|guard|desk) \\| last check-in \\d\\d/\\d\\d/\\d{4} "
                                            "\\d+:\\d\\d:\\d\\d [AP]M \\| (.*)$");
        for (int i = 0; i < 3; ++i) {
            const QRegularExpressionMatch m = checkingIn.match(lines[7 + i]);
            QVERIFY2(m.hasMatch(), qPrintable(lines[7 + i]));
            QCOMPARE(m.captured(1), QString("bcd").mid(i, 1));
            QCOMPARE(m.captured(3),
                     i == 2 ? QStringLiteral("last poll failure: -2147217911 SELECT command denied") : QString());
        }
        QCOMPARE(lines.mid(10), QStringList({"Silent (1)", "ws-e | lab | last check-in 11/30/2026 1:00:05 PM | "}));

        // A receipt that arrives while the window is open shows without anyone asking.
        insertReceipt("2026-12-01", "09:00", testdb::scalar("SELECT ID FROM alerts WHERE CodeName = 'Drill'").toInt(),
                      "ws-b", "clerk", "Drill", "Lobby", "2026-12-01 09:00:31", "no device", QVariant(),
                      {QVariant(), QVariant(), QVariant()}, {QVariant(), QVariant()}, "2026-12-01 09:00:31",
                      "2026-12-01 09:01:02");
        // It came by the wake-up channel, as its workstation recorded, from an address that a second
        // computer claimed too.
        testdb::exec(
            "INSERT INTO receiptorigins (CodeDate, CodeTime, AlertID, HostName, DesktopUser, Address, Channel, "
            "RecordedAt) SELECT CodeDate, CodeTime, AlertID, HostName, DesktopUser, a.Address, 'wake', "
            "NOW(3) + INTERVAL a.n SECOND FROM receipts, (SELECT '10.0.0.5' AS Address, 0 AS n UNION ALL "
            "SELECT '10.0.0.9', 1) a WHERE HostName = 'ws-b' AND CodeDate = '2026-12-01'");
        QTRY_COMPARE_WITH_TIMEOUT(list(w)->topLevelItem(0)->text(0), QStringLiteral("Saw it (2)"),
                                  3 * DeliveryWindow::kRefreshMs);
        QCOMPARE(listLines(list(w)).mid(0, 9),
                 QStringList({"Saw it (2)", "ws-a | nurse | 9:00:15 AM | rang",
                              "ws-b | clerk | 9:00:31 AM | no sound device, closed the popup, by wake-up, from "
                              "10.0.0.5 and 10.0.0.9 (two computers report as this workstation)",
                              "Rang (1)", "ws-a | nurse | 9:00:17 AM | volume 40000; not muted", "Failed to ring (1)",
                              "ws-b | clerk | 9:00:31 AM | no sound device", "Closed the popup (1)",
                              "ws-b | clerk | 9:01:02 AM | shown 9:00:31 AM"}));

        // A newer alert is followed while the window shows the most recent one.
        insertAlert("AlertLog", "Code Blue", "Cafeteria", "2026-12-07", "09:58", QVariant());
        QTRY_COMPARE_WITH_TIMEOUT(label(w, "lblAlert"),
                                  QStringLiteral("12/07/2026 9:58 AM - CODE Code Blue - Location = Cafeteria"),
                                  3 * DeliveryWindow::kRefreshMs);
        QTRY_COMPARE(list(w)->topLevelItem(0)->text(0), QStringLiteral("Saw it (0)"));
        QVERIFY(m_kit->msg.boxes.isEmpty());
    }

    void earlierAlertAfterThePurgeAndItsReport() {
        seed();
        // The console purges earlier days' live alerts before every submission.
        hv::AlertStore(m_kit->ctx.servers()).fncDeleteSevenDayOldRecords(QDateTime::currentDateTime());
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM alerts").toInt(), 0);

        DeliveryWindow* w = openDelivery();
        QTRY_COMPARE(label(w, "lblAlert"), QStringLiteral("12/01/2026 9:00 AM - CODE Drill - Location = Lobby"));
        auto* day = w->findChild<QDateEdit*>("dtpDay");
        day->setDate(QDate(2026, 11, 30));
        auto* alerts = w->findChild<QComboBox*>("cboAlert");
        QTRY_COMPARE(alerts->itemText(1), QStringLiteral("2:03 PM - CODE Code Red - Location = East Wing"));
        QCOMPARE(alerts->count(), 2);
        // The delivery shown stays the latest until an alert of the day is picked.
        QCOMPARE(label(w, "lblAlert"), QStringLiteral("12/01/2026 9:00 AM - CODE Drill - Location = Lobby"));
        alerts->setFocus();
        QTest::keyClick(alerts, Qt::Key_Down);
        QCOMPARE(alerts->currentIndex(), 1);
        QTRY_COMPARE(label(w, "lblAlert"), QStringLiteral("11/30/2026 2:03 PM - CODE Code Red - Location = East "
                                                          "Wing\nMessage: Use the north stairs"));
        QTRY_COMPARE(label(w, "lblCounts"),
                     QStringLiteral("Saw it: 3    Rang: 1    Failed to ring: 2    Closed the popup: 1    Checking "
                                    "in, not seen yet: 1    Silent: 1"));
        const QStringList lines = listLines(list(w));
        QCOMPARE(lines.mid(0, 11),
                 QStringList({"Saw it (3)", "ws-a | nurse | 2:03:16 PM | rang, closed the popup",
                              "ws-b | clerk | 2:03:17 PM | no sound device",
                              "ws-c | guard | 2:03:20 PM | playback failed: Device or resource busy", "Rang (1)",
                              "ws-a | nurse | 2:03:18 PM | volume 5000, raised to 15000, put back after; mute lifted "
                              "for the ring, on again after",
                              "Failed to ring (2)", "ws-b | clerk | 2:03:17 PM | no sound device",
                              "ws-c | guard | 2:03:21 PM | playback failed: Device or resource busy",
                              "Closed the popup (1)", "ws-a | nurse | 2:03:40 PM | shown 2:03:16 PM"}));
        QCOMPARE(lines[11], QStringLiteral("Checking in, not seen yet (1)"));
        QVERIFY2(lines[12].startsWith("ws-d | desk | last check-in "), qPrintable(lines[12]));
        QCOMPARE(lines.mid(13), QStringList({"Silent (1)", "ws-e | lab | last check-in 1:00:05 PM | "}));

        // The report says the same, through the report file and the viewer.
        w->findChild<QPushButton*>("cmdReport")->click();
        hv::ReportViewer* viewer = hv::ReportViewer::current();
        QVERIFY(viewer);
        const QString title = "Delivery of 11/30/2026 2:03 PM - CODE Code Red - Location = East Wing";
        QCOMPARE(viewer->windowTitle(), title + " (9)");
        const QStringList report = fileLines(reportPath());
        QCOMPARE(report.mid(0, 5), QStringList({" ", title, " ", "Print Date: 12/7/26", " "}));
        QCOMPARE(report[5], kRule);
        QVERIFY2(report[6].startsWith("As of:                     "), qPrintable(report[6]));
        QCOMPARE(report.mid(7, 7),
                 QStringList({"Saw it:                    3", "Rang:                      1",
                              "Failed to ring:            2", "Closed the popup:          1",
                              "Checking in, not seen yet: 1", "Silent:                    1", kRule}));
        QCOMPARE(report.mid(14, 6),
                 QStringList({"Group:         Saw it", "Workstation:   ws-a", "User:          nurse",
                              "When:          2:03:16 PM", "Detail:        rang, closed the popup", kRule}));
        QCOMPARE(report.count(kRule), 11);
        QCOMPARE(report.mid(report.size() - 9),
                 QStringList({"Group:         Silent", "Workstation:   ws-e", "User:          lab",
                              "When:          last check-in 1:00:05 PM", "Detail:        ", kRule, " ", " ",
                              "Total Number Of Records: (9)"}));
        QVERIFY(m_kit->msg.boxes.isEmpty());
    }

    void workstationsMarkTheSilentAndReport() {
        seed();
        m_kit->form1->findChild<QAction*>("mnuWorkstations")->trigger();
        WorkstationsWindow* w = WorkstationsWindow::current();
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("Workstations"));
        QTRY_COMPARE(label(w, "lblCounts"), QStringLiteral("Workstations: 6    Listening: 5    Silent: 1"));
        hv::WorkstationsModel* model = w->model();
        QCOMPARE(model->rowCount(), 6);
        const auto cell = [model](int row, int column) { return model->index(row, column).data().toString(); };
        QCOMPARE(cell(0, hv::WorkstationsModel::Host), QStringLiteral("ws-a"));
        QCOMPARE(cell(0, hv::WorkstationsModel::State), QStringLiteral("Listening"));
        QCOMPARE(cell(1, hv::WorkstationsModel::Sound), QStringLiteral("none"));
        QCOMPARE(cell(1, hv::WorkstationsModel::Volume), QStringLiteral("not readable"));
        QCOMPARE(cell(3, hv::WorkstationsModel::LastFailure),
                 QStringLiteral("11/30/2026 2:02:00 PM: -2147217911 SELECT command denied"));
        QCOMPARE(cell(4, hv::WorkstationsModel::Host), QStringLiteral("ws-e"));
        QVERIFY2(cell(4, hv::WorkstationsModel::State).contains(QRegularExpression("^Silent for \\d+ d")),
                 qPrintable(cell(4, hv::WorkstationsModel::State)));
        QCOMPARE(cell(4, hv::WorkstationsModel::LastCheckIn).left(22), QStringLiteral("11/30/2026 1:00:05 PM "));
        QCOMPARE(model->index(4, 0).data(Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::darkRed));
        QVERIFY(!model->index(0, 0).data(Qt::ForegroundRole).isValid());

        w->findChild<QPushButton*>("cmdReport")->click();
        hv::ReportViewer* viewer = hv::ReportViewer::current();
        QVERIFY(viewer);
        QCOMPARE(viewer->windowTitle(), QStringLiteral("Complete List of All Workstations (6)"));
        const QStringList report = fileLines(reportPath());
        QCOMPARE(report.mid(7, 3),
                 QStringList({"Listening:                 5", "Silent:                    1", kRule}));
        QCOMPARE(report.mid(10, 3),
                 QStringList({"Workstation:   ws-a", "User:          nurse", "Version:       1.0.0"}));
        const qsizetype silent = report.indexOf("Workstation:   ws-e");
        QVERIFY(silent > 0);
        QCOMPARE(report[silent + 3].left(38), QStringLiteral("Last Check-In: 11/30/2026 1:00:05 PM ("));
        QVERIFY2(report[silent + 4].startsWith("State:         Silent for "), qPrintable(report[silent + 4]));
        QCOMPARE(report.last(), QStringLiteral("Total Number Of Records: (6)"));
        QVERIFY(!report.join('\n').contains("Wake-Up:"));
        hv::ReportViewer::closeCurrent();

        // What the check-ins report beyond the workstations row shows once some workstation reports
        // it: its wake-up channel, the address the server saw (two at once are two computers that
        // claim to be one workstation) and the tables its poll cannot read.
        auto* view = w->findChild<QTreeView*>("lstWorkstations");
        for (const int c :
             {hv::WorkstationsModel::WakeUp, hv::WorkstationsModel::Address, hv::WorkstationsModel::CannotRead})
            QVERIFY(view->isColumnHidden(c));
        testdb::exec("INSERT INTO workstationreports (HostName, DesktopUser, Address, ReportedAt, Unreadable, "
                     "WakeConfigured, WakeConnected, WakeBroker, WakeConnectedSince, WakeReceived, WakeDropped, "
                     "WakeUnconfirmed) VALUES ('ws-a', 'nurse', '10.0.0.4', NOW(), NULL, 1, 1, 'broker-1:8883', NOW(), "
                     "4, 0, 1), ('ws-b', 'clerk', '10.0.0.5', NOW(), 'cancellations', 1, 0, NULL, NULL, 2, 3, 0), "
                     "('ws-b', 'clerk', '10.0.0.9', NOW() - INTERVAL 20 SECOND, NULL, 0, NULL, NULL, NULL, 0, 0, 0), "
                     "('ws-c', 'guard', '10.0.0.6', NOW(), NULL, 0, NULL, NULL, NULL, 0, 0, 0), "
                     "('ws-c', 'guard', '10.0.0.7', NOW() - INTERVAL 1 DAY, NULL, 0, NULL, NULL, NULL, 0, 0, 0)");
        QTRY_VERIFY_WITH_TIMEOUT(!view->isColumnHidden(hv::WorkstationsModel::WakeUp),
                                 3 * WorkstationsWindow::kRefreshMs);
        QVERIFY(!view->isColumnHidden(hv::WorkstationsModel::Address));
        QVERIFY(!view->isColumnHidden(hv::WorkstationsModel::CannotRead));
        QCOMPARE(cell(0, hv::WorkstationsModel::WakeUp),
                 QStringLiteral("connected to broker-1:8883; 1 not confirmed by the database"));
        QCOMPARE(cell(1, hv::WorkstationsModel::WakeUp), QStringLiteral("not connected; 3 dropped unread"));
        QCOMPARE(cell(2, hv::WorkstationsModel::WakeUp), QString());
        QCOMPARE(cell(1, hv::WorkstationsModel::Address),
                 QStringLiteral("10.0.0.5, also 10.0.0.9 (two computers report as this workstation)"));
        // Another address a day ago is a workstation that moved, not two at once.
        QCOMPARE(cell(2, hv::WorkstationsModel::Address), QStringLiteral("10.0.0.6"));
        QCOMPARE(cell(1, hv::WorkstationsModel::CannotRead), QStringLiteral("cancellations"));
        QCOMPARE(model->index(1, 0).data(Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::darkRed));
        QVERIFY(!model->index(2, 0).data(Qt::ForegroundRole).isValid());
        w->findChild<QPushButton*>("cmdReport")->click();
        const QStringList withReports = fileLines(reportPath());
        QVERIFY(withReports.contains("Wake-Up:       connected to broker-1:8883; 1 not confirmed by the database"));
        QVERIFY(
            withReports.contains("Address:       10.0.0.5, also 10.0.0.9 (two computers report as this workstation)"));
        QVERIFY(withReports.contains("Cannot Read:   cancellations"));
    }

    void alertsOfTheSameMinuteCodeAndPlaceKeepTheirOwnReceipts() {
        // Sent twice within one minute: the receipts tell the two apart only by their alert IDs.
        for (int i = 0; i < 2; ++i) {
            insertAlert("alerts", "Code Red", "East Wing", "2026-11-30", "14:03", QString("Take %1").arg(i + 1));
            insertAlert("AlertLog", "Code Red", "East Wing", "2026-11-30", "14:03", QString("Take %1").arg(i + 1));
        }
        const QList<QSqlRecord> ids = testdb::rows("SELECT ID FROM alerts ORDER BY ID");
        insertReceipt("2026-11-30", "14:03", ids[1].value(0).toInt(), "ws-b", "clerk", "Code Red", "East Wing",
                      "2026-11-30 14:03:30", "played", QVariant(), {1, 1, 1}, {0, QVariant()}, QVariant(), QVariant());
        insertReceipt("2026-11-30", "14:03", ids[0].value(0).toInt(), "ws-a", "nurse", "Code Red", "East Wing",
                      "2026-11-30 14:03:20", "played", QVariant(), {1, 1, 1}, {0, QVariant()}, QVariant(), QVariant());
        hv::DeliveryStore store(m_kit->ctx.servers());
        const QList<hv::DeliveryStore::LoggedAlert> logged = store.alertsOn(QDate(2026, 11, 30));
        QCOMPARE(logged.size(), 2);
        QStringList seenBy;
        for (const hv::DeliveryStore::LoggedAlert& a : logged) {
            const hv::DeliveryStore::Delivery d = store.deliveryOf(a);
            QCOMPARE(d.receipts.size(), 1);
            seenBy << a.codeMessage + "=" + d.receipts[0].hostName;
        }
        QCOMPARE(seenBy, QStringList({"Take 2=ws-b", "Take 1=ws-a"}));
    }

    void databaseWithoutTheDeliveryTables() {
        insertAlert("AlertLog", "Code Red", "East Wing", "2026-11-30", "14:03", QVariant());
        testdb::dropDeliveryTables();
        DeliveryWindow* w = openDelivery();
        const QString says = "This database keeps no delivery records yet. Apply upgrade.sql on the database server "
                             "(see the README); the workstations then ";
        QTRY_COMPARE(label(w, "lblStatus"), says + "report every alert.");
        QCOMPARE(label(w, "lblAlert"), QStringLiteral("11/30/2026 2:03 PM - CODE Code Red - Location = East Wing"));
        QCOMPARE(list(w)->topLevelItemCount(), 0);
        m_kit->form1->findChild<QAction*>("mnuWorkstations")->trigger();
        QTRY_COMPARE(label(WorkstationsWindow::current(), "lblStatus"), says + "check in.");
        // Nothing is ever put in a box, however often the windows read again.
        QTest::qWait(DeliveryWindow::kRefreshMs + 500);
        QVERIFY(m_kit->msg.boxes.isEmpty());
        QCOMPARE(m_kit->exit.ends, 0);
    }
};

QTEST_MAIN(TestDeliveryConsole)
#include "tst_delivery_console.moc"
