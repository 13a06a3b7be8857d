// Setting audiences up as an administrator does, and what the operator then sees before and after
// sending: the window's messages and the rows they leave, the main window's line and question, the
// delivery count and the reports. Offscreen, against the private server, with scripted boxes.
#include "ConsoleKit.h"
#include "admin/AudiencesWindow.h"
#include "delivery/DeliveryBreakdown.h"
#include "reports/PrinterPort.h"
#include "reports/ReportWriter.h"

#include <QLabel>
#include <QListWidget>
#include <QTableWidget>

using hv::Answer;
using hv::Buttons;
using hv::Icon;

namespace {

QString labelText(QWidget* w, const char* name) {
    auto* l = w->findChild<QLabel*>(name);
    return l ? l->text() : QStringLiteral("<no %1>").arg(name);
}

QStringList column(const QString& sql) {
    QStringList out;
    for (const QSqlRecord& r : testdb::rows(sql))
        out << r.value(0).toString();
    return out;
}

// Two workstations known to the delivery tables: one checking in, one silent for an hour.
void seed() {
    testdb::reset();
    testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('Code Red', 'Go to your posts.'), ('Spill', 'Keep "
                 "out of the room.')");
    testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('Lab 3'), ('Lobby')");
    testdb::exec("INSERT INTO workstations (HostName, DesktopUser, FirstCheckIn, LastCheckIn, CheckInSeconds, "
                 "PollSeconds) VALUES ('LAB3-PC1', 'ann', NOW(), NOW(), 60, 15), ('LAB3-PC2', 'bob', NOW() - INTERVAL "
                 "1 HOUR, NOW() - INTERVAL 1 HOUR, 60, 15), ('OFFICE-PC1', 'cy', NOW(), NOW(), 60, 15)");
}

} // namespace

class TestAudiencesWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { REQUIRE_DB(); }
    void init() { seed(); }

    // Every change is saved at once; each refusal is said and stores nothing.
    void administration() {
        ConsoleKit kit;
        hv::AudiencesWindow w(kit.ctx);
        QVERIFY(w.load());
        w.show();
        QCOMPARE(w.windowTitle(), QString("Audiences"));
        QCOMPARE(labelText(&w, "lblAudienceCount"), QString("Click New... to make an audience."));

        kit.msg.inputs = {"Lab 3", "lab 3", "   ", QString(65, 'x')};
        clickButton(&w, "cmdNewAudience");
        QCOMPARE(focused(), QString("txtPattern"));
        for (int i = 0; i < 3; ++i)
            clickButton(&w, "cmdNewAudience");
        QCOMPARE(
            shown(kit.msg.boxes),
            QStringList({box("Audience Not Saved", "There is already an audience named \"lab 3\". Choose another name.",
                             Buttons::Ok, Icon::Warning),
                         box("Audience Not Saved", "Type a name for the audience.", Buttons::Ok, Icon::Warning),
                         box("Audience Not Saved", "An audience's name is at most 64 characters long.", Buttons::Ok,
                             Icon::Warning)}));
        QCOMPARE(column("SELECT AudienceName FROM audiences"), QStringList({"Lab 3"}));

        // The count follows the typing: of the two lab machines one checks in, one is silent.
        typeInto(&w, "txtPattern", "lab3-*");
        QCOMPARE(labelText(&w, "lblPatternCount"),
                 QString("Matches 2 of 3 workstations known, 1 checked in recently."));
        kit.msg.boxes.clear();
        clickButton(&w, "cmdAddPattern");
        typeInto(&w, "txtPattern", QString(256, 'p'));
        QCOMPARE(labelText(&w, "lblPatternCount"),
                 QString("A pattern or host name can be at most 255 characters long."));
        clickButton(&w, "cmdAddPattern");
        typeInto(&w, "txtPattern", "LAB9-*");
        clickButton(&w, "cmdAddPattern");
        auto* hosts = w.findChild<QComboBox*>("cboHosts");
        QCOMPARE(hosts->count(), 3);
        hosts->setCurrentText("OFFICE-PC1");
        clickButton(&w, "cmdAddHost");
        QCOMPARE(shown(kit.msg.boxes),
                 QStringList({box("Pattern Not Added", "A pattern or host name can be at most 255 characters long.",
                                  Buttons::Ok, Icon::Warning),
                              box("Pattern Added",
                                  "No workstation known to the database matches \"LAB9-*\" yet. The pattern has been "
                                  "added: workstations that check in later with a matching name belong to the "
                                  "audience.",
                                  Buttons::Ok, Icon::Information)}));
        QCOMPARE(column("SELECT Pattern FROM audiencepatterns ORDER BY Pattern"),
                 QStringList({"LAB9-*", "OFFICE-PC1", "lab3-*"}));
        QCOMPARE(labelText(&w, "lblAudienceCount"),
                 QString("In this audience: 3 workstations known, 2 checked in recently."));
        auto* patterns = w.findChild<QListWidget*>("lstPatterns");
        patterns->setCurrentRow(1);
        clickButton(&w, "cmdRemovePattern");
        QCOMPARE(column("SELECT Pattern FROM audiencepatterns ORDER BY Pattern"), QStringList({"LAB9-*", "lab3-*"}));

        // The spill reaches only its location's audience; Lab 3 names the audience.
        auto* codes = w.findChild<QListWidget*>("lstCodes");
        QCOMPARE(codes->count(), 2);
        codes->item(1)->setCheckState(Qt::Checked);
        QTRY_COMPARE(column("SELECT CodeName FROM codereach WHERE LocationOnly = 1"), QStringList({"Spill"}));
        auto* locations = w.findChild<QTableWidget*>("grdLocations");
        auto* lab3 = qobject_cast<QComboBox*>(locations->cellWidget(0, 1));
        QCOMPARE(lab3->currentText(), QString("Everyone"));
        lab3->setCurrentIndex(1);
        QTRY_COMPARE(column("SELECT l.CodeLocation FROM locationaudiences l JOIN audiences a ON a.ID = l.AudienceID "
                            "WHERE a.AudienceName = 'Lab 3'"),
                     QStringList({"Lab 3"}));
        QTRY_COMPARE(qobject_cast<QComboBox*>(locations->cellWidget(0, 1))->currentText(), QString("Lab 3"));

        // Deleting the audience in use asks first and leaves Lab 3 reaching everyone.
        kit.msg.boxes.clear();
        kit.msg.answers = {Answer::No, Answer::Yes};
        clickButton(&w, "cmdDeleteAudience");
        QCOMPARE(column("SELECT AudienceName FROM audiences"), QStringList({"Lab 3"}));
        clickButton(&w, "cmdDeleteAudience");
        const QString ask = box("Delete Audience",
                                "The audience \"Lab 3\" is the audience of 1 location: Lab 3. Alerts there will reach "
                                "everyone. Delete it?",
                                Buttons::YesNo, Icon::Question);
        QCOMPARE(shown(kit.msg.boxes), QStringList({ask, ask}));
        for (const char* table : {"audiences", "audiencepatterns", "locationaudiences"})
            QCOMPARE(testdb::scalar(QString("SELECT COUNT(*) FROM %1").arg(table)).toInt(), 0);
        QCOMPARE(labelText(&w, "lblAudienceCount"), QString("Click New... to make an audience."));
    }

    // Nothing set up: the main window as it always was. Set up: the line says whom the choice
    // reaches, the operator is asked before an alert for an audience nobody in it would see, and
    // what was sent says its audience in the delivery window's count and in the reports.
    void operatorSeesTheReach() {
        QTemporaryDir temp;
        qputenv("Temp", QFile::encodeName(temp.path()));
        {
            ConsoleKit kit;
            hv::MainWindow& form1 = kit.started();
            const QSize plain = form1.size();
            kit.choose("Spill", "Lab 3");
            QTest::qWait(300);
            QVERIFY(!form1.findChild<QLabel*>("lblReach")->isVisible());
            QCOMPARE(form1.size(), plain);
        }
        testdb::exec("INSERT INTO audiences (AudienceName) VALUES ('Lab 3'), ('Nobody')");
        testdb::exec("INSERT INTO audiencepatterns SELECT ID, 'LAB3-*' FROM audiences WHERE AudienceName = 'Lab 3'");
        testdb::exec("INSERT INTO audiencepatterns SELECT ID, 'GONE-*' FROM audiences WHERE AudienceName = 'Nobody'");
        testdb::exec("INSERT INTO locationaudiences SELECT 'Lab 3', ID FROM audiences WHERE AudienceName = 'Lab 3'");
        testdb::exec("INSERT INTO locationaudiences SELECT 'Lobby', ID FROM audiences WHERE AudienceName = 'Nobody'");
        testdb::exec("INSERT INTO codereach VALUES ('Spill', 1)");

        ConsoleKit kit;
        kit.clock.set(QDateTime::currentDateTime());
        hv::MainWindow& form1 = kit.started();
        QLabel* reach = form1.findChild<QLabel*>("lblReach");
        kit.choose("Spill", "Lab 3");
        QTRY_COMPARE(reach->text(), QString("Reaches: Lab 3 (1 workstation checked in recently)"));
        QVERIFY(reach->isVisible());
        kit.choose("Code Red", "Lab 3");
        QTRY_COMPARE(reach->text(), QString("Reaches: Everyone"));
        kit.choose("Spill", "Lobby");
        QTRY_COMPARE(reach->text(), QString("Reaches: Nobody (0 workstations checked in recently)"));

        const QString ask = box("No Workstations In Audience",
                                "This alert reaches only the audience \"Nobody\", and none of its workstations has "
                                "checked in recently. Send it anyway?",
                                Buttons::YesNo, Icon::Warning);
        kit.msg.answers = {Answer::No};
        form1.Command1_Click();
        QCOMPARE(shown(kit.msg.boxes), QStringList({ask}));
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM AlertLog").toInt(), 0);
        QCOMPARE(focused(), QString("Combo2"));

        kit.msg.boxes.clear();
        kit.choose("Spill", "Lab 3");
        form1.Command1_Click();
        QCOMPARE(kit.titles(), QStringList({"Custom Message", "Halvane Saved"}));
        const qint64 logId = testdb::scalar("SELECT MAX(ID) FROM AlertLog").toLongLong();
        QCOMPARE(testdb::scalar("SELECT AudienceName FROM alertaudiences WHERE LogID = ?", {logId}).toString(),
                 QString("Lab 3"));
        const auto sent = testdb::rows("SELECT ID, CodeDate, CodeTime FROM alerts").front();
        testdb::exec("INSERT INTO receipts (AlertID, CodeDate, CodeTime, CodeName, CodeLocation, HostName, "
                     "DesktopUser, ShownAt) VALUES (?, ?, ?, 'Spill', 'Lab 3', 'LAB3-PC1', 'ann', NOW())",
                     {sent.value(0), sent.value(1), sent.value(2)});

        // Of the audience, the one checking in saw it and the silent one did not; the office's
        // workstation is nobody's concern here.
        hv::DeliveryStore store(kit.ctx.servers(), kit.ctx.access);
        const hv::DeliveryStore::Delivery d = store.deliveryOf(*store.latestAlert());
        const hv::DeliveryBreakdown b = hv::DeliveryBreakdown::of(d);
        QCOMPARE(b.audienceLine(d), QString("Audience: Lab 3 (1 of 2 saw it)"));
        QCOMPARE(b.count(hv::DeliveryBreakdown::NotSeenYet), 0);
        QCOMPARE(b.count(hv::DeliveryBreakdown::Silent), 1);

        const hv::PrinterPort pdf = hv::PrinterPort::pdfFile(temp.filePath("r.pdf"), "r", QPageSize(QPageSize::A4));
        hv::ReportWriter(kit.ctx.database(), pdf, QDate::currentDate())
            .write(hv::ReportDefinition::forKind(hv::ReportKind::AllAlerts));
        const QStringList lines = fileLines(temp.filePath("report.txt"));
        const qsizetype comments = lines.indexOf("Code Comments: Keep out of the room.");
        QVERIFY(comments > 0);
        QCOMPARE(lines.mid(comments + 1, 2), QStringList({"Audience:      Lab 3", hv::ReportWriter::kRuleLine}));
    }
};

QTEST_MAIN(TestAudiencesWindow)
#include "tst_audiences_window.moc"
