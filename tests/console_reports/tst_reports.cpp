#include "ConsoleKit.h"
#include "reports/PrinterPort.h"
#include "reports/ReportFile.h"
#include "reports/ReportViewer.h"
#include "reports/ReportsEntry.h"

#include <QDateEdit>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using hv::ConsoleContext;
using hv::PrinterPort;
using hv::ReportFile;
using hv::ReportKind;
using hv::ReportViewer;
using hv::runReport;

namespace {

const QString kRule(79, u'_');
const QString kPrinterErrorText = QStringLiteral(
    "This computer either doesn't have a default printer setup, or there was an error with the printer.");

} // namespace

class TestReports : public QObject {
    Q_OBJECT

    QTemporaryDir m_temp;
    ScriptedMessagePort m_msg;
    ScriptedExit m_exit;
    FixedClock m_clock{QDateTime(QDate(2012, 4, 2), QTime(10, 5, 40))};
    PrinterPort m_pdf = PrinterPort::none();
    std::unique_ptr<ConsoleContext> m_ctx;
    std::unique_ptr<QWidget> m_admin;

    QString reportPath() const { return m_temp.path() + QStringLiteral("/report.txt"); }

    ReportViewer* run(ReportKind kind) {
        runReport(kind, *m_ctx, m_admin.get());
        return ReportViewer::current();
    }

    // Runs the search report, filling Form8 as a user would and pressing "OK".
    ReportViewer* search(const QString& text, QDate from, QDate to) {
        onNextDialog([=](QDialog* d) {
            d->findChild<QDateEdit*>("DTPicker1")->setDate(from);
            d->findChild<QDateEdit*>("DTPicker2")->setDate(to);
            d->findChild<QLineEdit*>("Text1")->setText(text);
            QTest::mouseClick(d->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        });
        return run(ReportKind::SearchWithDateRange);
    }

    static void seedAlerts() {
        const QString sql = "INSERT INTO AlertLog (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation, Comments) "
                            "VALUES (?, ?, ?, ?, ?, ?)";
        testdb::exec(sql, {"Code Red", "Line one\nLine two", QDate(2012, 4, 1), QTime(15, 7), "Main Lobby",
                           "All employees report."});
        testdb::exec(sql, {"Code Blue", QVariant(), QDate(2012, 3, 31), QTime(9, 5), "East Wing", QVariant()});
        testdb::exec(sql, {"code red", "", QDate(2012, 4, 2), QTime(0, 30), "Cafeteria", "lower case name"});
        testdb::exec(sql, {"Code Redline", "x", QDate(2012, 4, 3), QTime(12, 0), "Roof", "after the range"});
    }

    static QStringList header(const QString& title, int blanksAfterTitle) {
        QStringList l{" ", title};
        for (int i = 0; i < blanksAfterTitle; ++i)
            l << " ";
        l << "Print Date: 4/2/12"
          << " " << kRule;
        return l;
    }

    // A WITH clause naming the numbers 1 to count as n(i).
    static QString numbers(int count) {
        return QStringLiteral(
                   "WITH d AS (SELECT 0 i UNION ALL SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3 UNION ALL "
                   "SELECT 4 UNION ALL SELECT 5 UNION ALL SELECT 6 UNION ALL SELECT 7 UNION ALL SELECT 8 "
                   "UNION ALL SELECT 9), n AS (SELECT a.i + 10 * b.i + 100 * c.i + 1000 * e.i + 10000 * f.i "
                   "+ 1 AS i FROM d a, d b, d c, d e, d f WHERE a.i + 10 * b.i + 100 * c.i + 1000 * e.i + "
                   "10000 * f.i < %1)")
            .arg(count);
    }

    static QStringList footer(const QString& total) { return {" ", " ", "Total Number Of Records: (" + total + ")"}; }

private slots:
    void initTestCase() {
        QVERIFY(m_temp.isValid());
        qputenv("Temp", QFile::encodeName(m_temp.path()));
        QCOMPARE(QLocale::system().name(), QStringLiteral("en_US"));
        m_pdf = PrinterPort::pdfFile(m_temp.path() + "/printed.pdf", "Test Printer");
    }

    void init() {
        REQUIRE_DB();
        testdb::reset();
        m_msg.boxes.clear();
        m_ctx = std::make_unique<ConsoleContext>(m_msg, m_exit, m_clock, &m_pdf, testdb::host());
        m_admin = std::make_unique<QWidget>();
        m_admin->setObjectName("Form3");
        m_admin->show();
        qputenv("Temp", QFile::encodeName(m_temp.path()));
    }

    void cleanup() {
        ReportViewer::closeCurrent();
        m_admin.reset();
    }

    void allAlertsReportLineByLine() {
        seedAlerts();
        testdb::exec("DELETE FROM AlertLog WHERE ID > 2");
        ReportViewer* viewer = run(ReportKind::AllAlerts);
        QVERIFY(viewer);
        bool crlf = false;
        const QStringList expected =
            header("Complete List of All Halvane Records", 2) +
            QStringList({"Code Date:     04/01/2012", "Code Time:     3:07 PM", "Code Name:     Code Red",
                         "Code Location: Main Lobby", "Code Message:  Line one\nLine two",
                         "Code Comments: All employees report.", kRule, "Code Date:     03/31/2012",
                         "Code Time:     9:05 AM", "Code Name:     Code Blue", "Code Location: East Wing",
                         "Code Message:  ", "Code Comments: ", kRule}) +
            footer("2");
        QCOMPARE(fileLines(reportPath(), &crlf), expected);
        QVERIFY(crlf);
        QCOMPARE(viewer->windowTitle(), QStringLiteral("Complete List of All Halvane Records (2)"));
        QVERIFY(viewer->isVisible());
        QCOMPARE(m_msg.boxes.size(), 0);
        // The viewer shows the file, in Courier New, with the default printer named on "Print".
        QPlainTextEdit* area = viewer->textArea();
        QCOMPARE(area->toPlainText(), expected.join('\n') + '\n');
        QCOMPARE(area->font().family(), QStringLiteral("Courier New"));
        QCOMPARE(area->fontMetrics().horizontalAdvance("iiii"), area->fontMetrics().horizontalAdvance("WWWW"));
        QCOMPARE(area->toolTip(), QString());
        QCOMPARE(viewer->findChild<QPushButton*>("Command1")->toolTip(),
                 QStringLiteral("Click to Print Report to Printer (Test Printer)"));
        // The 79-character rule line fits the area without wrapping.
        QVERIFY(area->fontMetrics().horizontalAdvance(kRule) <
                area->viewport()->width() - 2 * area->document()->documentMargin());
        QCOMPARE(m_admin->cursor().shape(), Qt::ArrowCursor);
    }

    void catalogueReports() {
        testdb::exec("INSERT INTO users (UserName, Password) VALUES ('carol', 'x'), ('admin', 'y'), ('Bob', 'z')");
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('Drill', NULL), ('Code Red', 'Go to the "
                     "fire watch.')");
        testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('Main Lobby'), ('Cafeteria')");
        testdb::exec("UPDATE properties SET TraysToolTipText = ?", {"Halvane: call 5555\r\nor the desk"});

        QCOMPARE(run(ReportKind::AllUsers)->windowTitle(), QStringLiteral("Complete List of All Users (3)"));
        QCOMPARE(fileLines(reportPath()),
                 header("Complete List of All Users", 1) +
                     QStringList({"User Name: admin", kRule, "User Name: Bob", kRule, "User Name: carol", kRule}) +
                     footer("3"));

        QCOMPARE(run(ReportKind::AllCodes)->windowTitle(), QStringLiteral("Complete List of All Codes & Comments (2)"));
        QCOMPARE(fileLines(reportPath()),
                 header("Complete List of All Codes & Comments", 1) +
                     QStringList({"Code Name:     Code Red", "Code Comments: Go to the fire watch.", kRule,
                                  "Code Name:     Drill", "Code Comments: ", kRule}) +
                     footer("2"));

        QCOMPARE(run(ReportKind::AllLocations)->windowTitle(), QStringLiteral("Complete List of All Locations (2)"));
        QCOMPARE(fileLines(reportPath()),
                 header("Complete List of All Locations", 1) +
                     QStringList({"Code Location: Cafeteria", kRule, "Code Location: Main Lobby", kRule}) +
                     footer("2"));

        QCOMPARE(run(ReportKind::TrayToolTip)->windowTitle(),
                 QStringLiteral("The System Trays Application Tool Tip Text (1)"));
        // A value with its own line break is written unchanged.
        QCOMPARE(fileLines(reportPath()), header("The System Trays Application Tool Tip Text", 1) +
                                              QStringList({"Tool Tip Text: Halvane: call 5555", "or the desk", kRule}) +
                                              footer("1"));
        QCOMPARE(m_msg.boxes.size(), 0);
    }

    void emptyTableAndGroupedTotal() {
        QCOMPARE(run(ReportKind::AllUsers)->windowTitle(), QStringLiteral("Complete List of All Users (0)"));
        QCOMPARE(fileLines(reportPath()),
                 header("Complete List of All Users", 1) + footer("0") + QStringList({"No Records Matching Query"}));
        QCOMPARE(run(ReportKind::AllAlerts)->windowTitle(), QStringLiteral("Complete List of All Halvane Records (0)"));
        QCOMPARE(fileLines(reportPath()), header("Complete List of All Halvane Records", 2) + footer("0") +
                                              QStringList({"No Records Matching Query"}));

        testdb::exec("INSERT INTO locations (CodeLocation) " + numbers(1234) +
                     " SELECT CONCAT('Room ', LPAD(i, 4, '0')) FROM n");
        QCOMPARE(run(ReportKind::AllLocations)->windowTitle(), QStringLiteral("Complete List of All Locations (1234)"));
        const QStringList lines = fileLines(reportPath());
        QCOMPARE(lines.last(), QStringLiteral("Total Number Of Records: (1,234)"));
        QCOMPARE(lines.count(kRule), 1235);
        QCOMPARE(lines[6], QStringLiteral("Code Location: Room 0001"));
    }

    void moreRowsThanASixteenBitCounter() {
        testdb::exec("INSERT INTO AlertLog (CodeName, CodeDate, CodeTime) " + numbers(40000) +
                     " SELECT CONCAT('C', i), '2012-04-01', '15:07' FROM n");
        QCOMPARE(run(ReportKind::AllAlerts)->windowTitle(),
                 QStringLiteral("Complete List of All Halvane Records (40000)"));
        const QStringList lines = fileLines(reportPath());
        QCOMPARE(lines.last(), QStringLiteral("Total Number Of Records: (40,000)"));
        QCOMPARE(lines.count(kRule), 40001);
        QCOMPARE(m_msg.boxes.size(), 0);
    }

    void searchReport() {
        seedAlerts();
        // Prefix match in the server's letter case handling; both bounds inclusive.
        ReportViewer* v = search("Code Red", QDate(2012, 4, 1), QDate(2012, 4, 2));
        QVERIFY(v);
        QCOMPARE(v->windowTitle(), QStringLiteral("Complete List of All Halvane Records (2)"));
        QStringList lines = fileLines(reportPath());
        QCOMPARE(lines.mid(0, 7), header("Seach By: (Code Red) With Date Range: (4/1/12) to (4/2/12)", 2));
        QCOMPARE(lines.filter("Code Name:"), (QStringList({"Code Name:     Code Red", "Code Name:     code red"})));
        QCOMPARE(lines.mid(lines.size() - 3), footer("2"));

        // A range given the wrong way round runs and finds nothing.
        v = search("Code", QDate(2012, 4, 3), QDate(2012, 3, 31));
        QCOMPARE(v->windowTitle(), QStringLiteral("Complete List of All Halvane Records (0)"));
        lines = fileLines(reportPath());
        QCOMPARE(lines[1], QStringLiteral("Seach By: (Code) With Date Range: (4/3/12) to (3/31/12)"));
        QCOMPARE(lines.mid(7), footer("0") + QStringList({"No Records Matching Query"}));

        // One day: the row of that day only.
        v = search("C", QDate(2012, 3, 31), QDate(2012, 3, 31));
        QCOMPARE(v->windowTitle(), QStringLiteral("Complete List of All Halvane Records (1)"));
        QCOMPARE(fileLines(reportPath()).filter("Code Name:"), QStringList({"Code Name:     Code Blue"}));
        QCOMPARE(m_msg.boxes.size(), 0);
    }

    void searchTextIsTakenLiterally() {
        const QString sql = "INSERT INTO AlertLog (CodeName, CodeDate, CodeTime) VALUES (?, '2012-04-01', '08:00')";
        for (const char* name : {"O'Brien drill", "OXBrien drill", "50% drill", "500 drill", "A_B", "AxB", "Zed"})
            testdb::exec(sql, {QString::fromUtf8(name)});
        const QDate day(2012, 4, 1);
        QCOMPARE(search("O'Brien", day, day)->windowTitle(),
                 QStringLiteral("Complete List of All Halvane Records (1)"));
        QCOMPARE(fileLines(reportPath())[1],
                 QStringLiteral("Seach By: (O'Brien) With Date Range: (4/1/12) to (4/1/12)"));
        // "%" and "_" typed by the user are plain characters, not wildcards.
        search("50%", day, day);
        QCOMPARE(fileLines(reportPath()).filter("Code Name:"), QStringList({"Code Name:     50% drill"}));
        search("A_", day, day);
        QCOMPARE(fileLines(reportPath()).filter("Code Name:"), QStringList({"Code Name:     A_B"}));
        QCOMPARE(search("%", day, day)->windowTitle(), QStringLiteral("Complete List of All Halvane Records (0)"));
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM AlertLog").toInt(), 7);
    }

    void searchDialog() {
        seedAlerts();
        QFile::remove(reportPath());
        bool checked = false;
        onNextDialog([&](QDialog* d) {
            QCOMPARE(d->objectName(), QStringLiteral("Form8"));
            QCOMPARE(d->windowTitle(), QStringLiteral("Select Report Date Range & Search String"));
            QCOMPARE(d->findChild<QLabel*>("Label1")->text(), QStringLiteral("Start Date:"));
            QCOMPARE(d->findChild<QLabel*>("Label2")->text(), QStringLiteral("End Date:"));
            QCOMPARE(d->findChild<QLabel*>("Label3")->text(), QStringLiteral("Search:"));
            QVERIFY(d->findChild<QLabel*>("Label1")->font().bold());
            auto* start = d->findChild<QDateEdit*>("DTPicker1");
            auto* end = d->findChild<QDateEdit*>("DTPicker2");
            auto* text = d->findChild<QLineEdit*>("Text1");
            auto* ok = d->findChild<QPushButton*>("Command1");
            QCOMPARE(ok->text(), QStringLiteral("OK"));
            // Today from the console's clock, the start picker holding the focus, tab order as drawn.
            QCOMPARE(start->date(), QDate(2012, 4, 2));
            QCOMPARE(end->date(), QDate(2012, 4, 2));
            QCOMPARE(text->text(), QString());
            QCOMPARE(QApplication::focusWidget(), start);
            for (QWidget* next : {static_cast<QWidget*>(end), static_cast<QWidget*>(text), static_cast<QWidget*>(ok),
                                  static_cast<QWidget*>(start)}) {
                QWidget* w = QApplication::focusWidget();
                QWidget* n = w->nextInFocusChain();
                while (n != w && (!(n->focusPolicy() & Qt::TabFocus) || w->isAncestorOf(n)))
                    n = n->nextInFocusChain();
                QCOMPARE(n, next);
                n->setFocus(Qt::TabFocusReason);
            }
            // "OK" with no search text does nothing at all.
            QTest::mouseClick(ok, Qt::LeftButton);
            QVERIFY(d->isVisible());
            QCOMPARE(m_msg.boxes.size(), 0);
            checked = true;
            // Closed with its close box: no report.
            d->close();
        });
        QVERIFY(!run(ReportKind::SearchWithDateRange));
        QVERIFY(checked);
        QVERIFY(!QFileInfo::exists(reportPath()));
        QCOMPARE(m_admin->cursor().shape(), Qt::ArrowCursor);

        // Escape cancels too, and leaves an open viewer as it was.
        ReportViewer* before = run(ReportKind::AllUsers);
        onNextDialog([](QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
        QCOMPARE(run(ReportKind::SearchWithDateRange), before);
        QCOMPARE(m_msg.boxes.size(), 0);
    }

    void noDefaultPrinter() {
        testdb::exec("INSERT INTO users (UserName, Password) VALUES ('carol', 'x')");
        QVERIFY(run(ReportKind::AllUsers));
        QVERIFY(QFileInfo(reportPath()).size() > 0);

        PrinterPort none = PrinterPort::none();
        m_ctx->printer = &none;
        m_msg.onShow = [this](const ShownBox&) { QCOMPARE(m_admin->cursor().shape(), Qt::ArrowCursor); };
        QVERIFY(!run(ReportKind::AllUsers));
        m_msg.onShow = nullptr;
        QCOMPARE(m_msg.boxes.size(), 1);
        QCOMPARE(m_msg.boxes[0].title, QStringLiteral("Printer Error"));
        QCOMPARE(m_msg.boxes[0].text, kPrinterErrorText);
        QCOMPARE(m_msg.boxes[0].buttons, hv::Buttons::Ok);
        QCOMPARE(m_msg.boxes[0].icon, hv::Icon::Critical);
        // The earlier viewer is gone and none came; the file holds what was written: nothing.
        QVERIFY(topLevels("frmScreenForm").isEmpty());
        QVERIFY(QFileInfo::exists(reportPath()));
        QCOMPARE(QFileInfo(reportPath()).size(), 0);
        QCOMPARE(m_admin->cursor().shape(), Qt::ArrowCursor);

        // The system's own default printer, where the print server cannot be reached.
        m_ctx->printer = nullptr;
        QVERIFY(!run(ReportKind::AllLocations));
        QCOMPARE(m_msg.boxes.size(), 2);
        QCOMPARE(m_msg.boxes[1].title, QStringLiteral("Printer Error"));
    }

    void secondReportReplacesTheViewer() {
        QPointer<ReportViewer> first = run(ReportKind::AllUsers);
        QVERIFY(first);
        first->findChild<QLineEdit*>("txtSearch")->setText("USER");
        QTest::mouseClick(first->findChild<QPushButton*>("cmdFindText"), Qt::LeftButton);
        ReportViewer* second = run(ReportKind::AllCodes);
        QVERIFY(!first);
        QCOMPARE(topLevels("frmScreenForm"), QList<QWidget*>{second});
        QCOMPARE(second->windowTitle(), QStringLiteral("Complete List of All Codes & Comments (0)"));
        // Fresh find state and an empty search box.
        QCOMPARE(second->lngFoundPos(), 0);
        QVERIFY(!second->blnFindStarted());
        QCOMPARE(second->strLastSearch(), QString());
        QCOMPARE(second->findChild<QLineEdit*>("txtSearch")->text(), QString());
        QCOMPARE(second->findChild<QPushButton*>("cmdFindText")->text(), QStringLiteral("Find"));
    }

    void databaseFailureEndsQuietlyAndNextReportWorks() {
        testdb::exec("INSERT INTO users (UserName, Password) VALUES ('carol', 'x')");
        QVERIFY(run(ReportKind::AllUsers));
        m_ctx->strDataPath = testdb::hostUnreachable();
        QVERIFY(!run(ReportKind::AllUsers));
        QCOMPARE(m_msg.boxes.size(), 0);
        QCOMPARE(m_exit.ends, 0);
        QVERIFY(topLevels("frmScreenForm").isEmpty());
        QCOMPARE(m_admin->cursor().shape(), Qt::ArrowCursor);
        // The lines before the failing query are in the file.
        QCOMPARE(fileLines(reportPath()), header("Complete List of All Users", 1));

        m_ctx->strDataPath = testdb::host();
        QCOMPARE(run(ReportKind::AllUsers)->windowTitle(), QStringLiteral("Complete List of All Users (1)"));
    }

    void withoutTempAFolderOfTheUsersOwn() {
        QTemporaryDir systemTemp;
        qputenv("TMPDIR", QFile::encodeName(systemTemp.path()));
        qunsetenv("Temp");
        const QString folder = systemTemp.path() + QStringLiteral("/halvane-%1").arg(geteuid());
        QCOMPARE(ReportFile::path(), folder + "/report.txt");
        QVERIFY(run(ReportKind::AllUsers));
        struct stat st {};
        QCOMPARE(lstat(QFile::encodeName(folder).constData(), &st), 0);
        QVERIFY(S_ISDIR(st.st_mode));
        QCOMPARE(st.st_mode & 0777, 0700u);
        QCOMPARE(fileLines(folder + "/report.txt").value(1), QStringLiteral("Complete List of All Users"));

        // A link planted at the report's name is replaced, never written through.
        const QString victim = systemTemp.path() + "/victim.txt";
        QFile v(victim);
        QVERIFY(v.open(QIODevice::WriteOnly));
        v.write("keep me");
        v.close();
        QFile::remove(folder + "/report.txt");
        QVERIFY(QFile::link(victim, folder + "/report.txt"));
        QVERIFY(run(ReportKind::AllCodes));
        QVERIFY(!QFileInfo(folder + "/report.txt").isSymLink());
        QCOMPARE(fileLines(folder + "/report.txt").value(1), QStringLiteral("Complete List of All Codes & Comments"));
        QFile check(victim);
        QVERIFY(check.open(QIODevice::ReadOnly));
        QCOMPARE(check.readAll(), QByteArray("keep me"));

        // A folder of that name that is somebody's link is not used at all.
        ReportViewer::closeCurrent();
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(QDir().mkdir(systemTemp.path() + "/elsewhere"));
        QVERIFY(QFile::link(systemTemp.path() + "/elsewhere", folder));
        QVERIFY(!run(ReportKind::AllUsers));
        QVERIFY(!QFileInfo::exists(systemTemp.path() + "/elsewhere/report.txt"));
        QCOMPARE(m_msg.boxes.size(), 0);
        qunsetenv("TMPDIR");
    }
};

QTEST_MAIN(TestReports)
#include "tst_reports.moc"
