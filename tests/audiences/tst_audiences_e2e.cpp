// Audiences with nothing faked in between: two real tray clients on a real desktop, each on a
// computer of its own name (a host-name namespace of its own), set up through the administration
// window, alerted through the main window, counted in the delivery window.
#include "ConsoleKit.h"
#include "DesktopSession.h"
#include "admin/AudiencesWindow.h"
#include "delivery/DeliveryWindow.h"
#include "delivery/WorkstationsModel.h"
#include "delivery/WorkstationsWindow.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeView>
#include <QtTest>

namespace {

DesktopSession* g_desktop = nullptr;

int popupsShown() {
    int n = 0;
    const QStringList ids =
        g_desktop->run("xdotool", {"search", "--onlyvisible", "--class", "Morvik"}).split('\n', Qt::SkipEmptyParts);
    for (const QString& id : ids)
        if (g_desktop->run("xdotool", {"getwindowgeometry", id}).contains("Geometry: 380x120")) ++n;
    return n;
}

QStringList receiptsOf(const QString& code) {
    QStringList out;
    for (const QSqlRecord& r :
         testdb::rows("SELECT HostName, RingResult FROM receipts WHERE CodeName = ? ORDER BY HostName", {code}))
        out << r.value(0).toString() + ' ' + r.value(1).toString();
    return out;
}

} // namespace

class TestAudiencesE2e : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QList<QProcess*> m_trays;

    void screenshot(const QString& name) {
        const QString dir = qEnvironmentVariable("HALVANE_BINARY_DIR") + "/screenshots";
        QDir().mkpath(dir);
        QVERIFY2(g_desktop->screenshot(dir + "/" + name + ".png"), "import (imagemagick) made no screenshot");
    }

    // The tray client on a computer of that name. One tray client runs per user and computer (it
    // refuses a second copy for the same user ID): each runs under a user ID of its own, mapped in
    // a user namespace onto this test's user and group, so that it reaches the same desktop, audio
    // server and files.
    QProcess* trayOn(const QString& hostName, int userId) {
        return g_desktop->launch("unshare",
                                 {"--uts", "sh", "-c",
                                  "hostname \"$1\" && exec unshare --user --map-user=\"$2\" --map-group=\"$2\" \"$0\"",
                                  m_dir.filePath("Morvik"), hostName, QString::number(userId)});
    }

private slots:
    void initTestCase() {
        REQUIRE_DB();
        QVERIFY(m_dir.isValid());
        int rc = 0;
        g_desktop->run("unshare",
                       {"--uts", "sh", "-c", "hostname probe && unshare --user --map-user=1001 --map-group=1001 true"},
                       &rc);
        QVERIFY2(rc == 0, "two tray clients of different host names need host-name and user namespaces (unshare "
                          "--uts, --user): run the tests as root, as scripts/test does");
        testdb::reset();
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('Code Red', 'Go to your posts.'), ('Spill', "
                     "'Keep out of the room.')");
        testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('Lab 3'), ('Lobby')");
        QVERIFY(QFile::copy(qEnvironmentVariable("HALVANE_BINARY_DIR") + "/tray/Morvik", m_dir.filePath("Morvik")));
        QFile ini(m_dir.filePath("halvane.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("MYSQLSERVERNAME=127.0.0.1\r\n");
        ini.close();
        QVERIFY(g_desktop->setSinkMuted(false));
        for (const auto& [host, userId] : {std::pair{"LAB3-PC1", 1001}, std::pair{"OFFICE-PC1", 1002}}) {
            QProcess* tray = trayOn(host, userId);
            QVERIFY(tray);
            m_trays << tray;
        }
        QVERIFY2(QTest::qWaitFor(
                     [] {
                         return testdb::scalar("SELECT COUNT(*) FROM workstations WHERE HostName IN ('LAB3-PC1', "
                                               "'OFFICE-PC1')")
                                    .toInt() == 2;
                     },
                     20000),
                 qPrintable("the two tray clients did not check in under their own names; the workstations "
                            "known: " +
                            testdb::scalar("SELECT GROUP_CONCAT(HostName) FROM workstations").toString()));
    }

    void cleanupTestCase() {
        for (QProcess* tray : m_trays) {
            tray->terminate();
            tray->waitForFinished(10000);
        }
    }

    // The spill in Lab 3 rings in Lab 3 only and counts one of one; the fire rings everywhere.
    void aSpillRingsInTheLabAFireEverywhere() {
        ConsoleKit h;
        h.clock.set(QDateTime::currentDateTime());
        hv::MainWindow& form1 = h.started();
        auto closeWindows = qScopeGuard([] {
            if (hv::DeliveryWindow* w = hv::DeliveryWindow::current()) w->close();
            if (hv::WorkstationsWindow* w = hv::WorkstationsWindow::current()) w->close();
        });

        {
            hv::AudiencesWindow admin(h.ctx);
            QVERIFY(admin.load());
            admin.show();
            QVERIFY(QTest::qWaitForWindowExposed(&admin));
            h.msg.inputs = {"Lab 3"};
            clickButton(&admin, "cmdNewAudience");
            typeInto(&admin, "txtPattern", "lab3-*");
            QCOMPARE(admin.findChild<QLabel*>("lblPatternCount")->text(),
                     QString("Matches 1 of 2 workstations known, 1 checked in recently."));
            clickButton(&admin, "cmdAddPattern");
            QTest::qWait(300);
            screenshot("frmAudiences");
            admin.findChild<QListWidget*>("lstCodes")->item(1)->setCheckState(Qt::Checked);
            qobject_cast<QComboBox*>(admin.findChild<QTableWidget*>("grdLocations")->cellWidget(0, 1))
                ->setCurrentIndex(1);
            QTRY_COMPARE(testdb::scalar("SELECT COUNT(*) FROM locationaudiences").toInt(), 1);
            QCOMPARE(testdb::scalar("SELECT CodeName FROM codereach WHERE LocationOnly = 1").toString(),
                     QString("Spill"));
            admin.findChild<QTabWidget*>("tabAudiences")->setCurrentIndex(2);
            QTest::qWait(300);
            screenshot("frmAudiences-locations");
            QCOMPARE(h.msg.boxes.size(), 0);
        }

        h.choose("Spill", "Lab 3");
        QTRY_COMPARE(form1.findChild<QLabel*>("lblReach")->text(),
                     QString("Reaches: Lab 3 (1 workstation checked in recently)"));
        QTest::qWait(300);
        screenshot("Form1-reach");
        form1.Command1_Click();
        QCOMPARE(h.titles(), QStringList({"Custom Message", "Halvane Saved"}));
        QVERIFY2(QTest::qWaitFor([] { return receiptsOf("Spill") == QStringList{"LAB3-PC1 played"}; }, 40000),
                 qPrintable("receipts: " + receiptsOf("Spill").join(", ")));
        // Every workstation has polled since the alert was stored, the office's included.
        QTest::qWait(17000);
        QCOMPARE(receiptsOf("Spill"), QStringList{"LAB3-PC1 played"});
        QCOMPARE(popupsShown(), 1);

        hv::DeliveryWindow* delivery = hv::DeliveryWindow::open(h.ctx);
        auto* alert = delivery->findChild<QLabel*>("lblAlert");
        QVERIFY2(QTest::qWaitFor([&] { return alert->text().endsWith("\nAudience: Lab 3 (1 of 1 saw it)"); }, 10000),
                 qPrintable(alert->text()));
        QTest::qWait(300);
        screenshot("frmDelivery-audience");
        delivery->close();

        hv::WorkstationsWindow* workstations = hv::WorkstationsWindow::open(h.ctx);
        QVERIFY(QTest::qWaitFor([&] { return workstations->model()->rowCount() == 2; }, 10000));
        const auto audiences = [&](int row) {
            return workstations->model()->index(row, hv::WorkstationsModel::Audiences).data().toString();
        };
        QCOMPARE(audiences(0), QString("Lab 3"));
        QCOMPARE(audiences(1), QString());
        auto* table = workstations->findChild<QTreeView*>();
        table->scrollTo(workstations->model()->index(0, hv::WorkstationsModel::Audiences));
        QTest::qWait(300);
        screenshot("frmWorkstations-audiences");
        workstations->close();

        h.msg.boxes.clear();
        h.clock.set(QDateTime::currentDateTime());
        h.choose("Code Red", "Lab 3");
        QTRY_COMPARE(form1.findChild<QLabel*>("lblReach")->text(), QString("Reaches: Everyone"));
        form1.Command1_Click();
        QCOMPARE(h.titles(), QStringList({"Custom Message", "Halvane Saved"}));
        QVERIFY2(QTest::qWaitFor(
                     [] {
                         return receiptsOf("Code Red") == QStringList({"LAB3-PC1 played", "OFFICE-PC1 played"});
                     },
                     40000),
                 qPrintable("receipts: " + receiptsOf("Code Red").join(", ")));
        QCOMPARE(popupsShown(), 2);
        for (QProcess* tray : m_trays)
            QCOMPARE(tray->state(), QProcess::Running);
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
    TestAudiencesE2e test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_audiences_e2e.moc"
