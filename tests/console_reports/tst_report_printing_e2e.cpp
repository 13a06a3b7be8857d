// "Print" on a real print server: a CUPS server of the test's own with a cups-pdf queue as the
// default printer, on a real X server with a window manager.
#include "ConsoleKit.h"
#include "DesktopSession.h"
#include "PdfText.h"
#include "reports/PrinterPort.h"
#include "reports/ReportViewer.h"
#include "reports/ReportsEntry.h"

#include <QDateEdit>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPageLayout>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QtTest>

#include <pwd.h>
#include <unistd.h>

using hv::PrinterPort;
using hv::ReportKind;
using hv::ReportViewer;

namespace {

DesktopSession* g_desktop = nullptr;

QString homePdfFolder() {
    const passwd* pw = getpwuid(geteuid());
    return QString::fromLocal8Bit(pw ? pw->pw_dir : "/root") + QStringLiteral("/PDF");
}

// The bounding box of everything darker than mid-grey on page 1, in points (rendered at 72 dpi).
QRect inkBox(const QString& pdf, QSize* pageSize, QString* error) {
    const QString base = QDir::tempPath() + QStringLiteral("/hv-ink-%1").arg(getpid());
    QProcess p;
    p.start("pdftoppm", {"-r", "72", "-gray", "-png", "-singlefile", "-f", "1", "-l", "1", pdf, base});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        *error = "pdftoppm (poppler-utils) could not render " + pdf;
        return {};
    }
    const QImage img(base + ".png");
    QFile::remove(base + ".png");
    *pageSize = img.size();
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 128) box |= QRect(x, y, 1, 1);
    return box;
}

int pageCount(const QString& pdf) {
    QProcess p;
    p.start("pdfinfo", {pdf});
    p.waitForFinished(60000);
    const QRegularExpression pages("Pages:\\s+(\\d+)");
    return pages.match(QString::fromUtf8(p.readAllStandardOutput())).captured(1).toInt();
}

} // namespace

class TestReportPrintingE2E : public QObject {
    Q_OBJECT

    QTemporaryDir m_temp;
    ScriptedMessagePort m_msg;
    ScriptedExit m_exit;
    FixedClock m_clock{QDateTime(QDate(2012, 4, 2), QTime(10, 5))};

    void screenshot(const QString& name) {
        const QString dir = qEnvironmentVariable("HALVANE_BINARY_DIR") + "/screenshots";
        QDir().mkpath(dir);
        g_desktop->screenshot(dir + "/" + name + ".png");
        QVERIFY2(QFileInfo(dir + "/" + name + ".png").size() > 0, "import (imagemagick) made no screenshot");
    }

    // Waits for cups-pdf's file of the job with this title, newer than since.
    QString waitForOutput(const QString& titlePart, const QDateTime& since) {
        QString found;
        const bool seen = QTest::qWaitFor(
            [&] {
                const auto files = QDir(homePdfFolder()).entryInfoList({"*.pdf"}, QDir::Files, QDir::Time);
                for (const QFileInfo& f : files)
                    if (f.fileName().contains(titlePart) && f.lastModified() >= since && f.size() > 0) {
                        found = f.absoluteFilePath();
                        return true;
                    }
                return false;
            },
            60000);
        if (seen) QTest::qWait(500); // cups-pdf writes the file in steps
        return found;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_temp.isValid());
        qputenv("Temp", QFile::encodeName(m_temp.path()));
        REQUIRE_DB();
        QCOMPARE(PrinterPort::systemDefault().deviceName(), DesktopSession::printQueue());
    }

    void printsOnTheDefaultPrinter() {
        testdb::reset();
        testdb::exec("INSERT INTO locations (CodeLocation) WITH d AS (SELECT 0 i UNION ALL SELECT 1 UNION ALL SELECT 2 "
                     "UNION ALL SELECT 3 UNION ALL SELECT 4 UNION ALL SELECT 5 UNION ALL SELECT 6 UNION ALL SELECT 7 "
                     "UNION ALL SELECT 8 UNION ALL SELECT 9) SELECT CONCAT('E2E Room ', a.i, b.i) FROM d a, d b");
        hv::ConsoleContext ctx{m_msg, m_exit, m_clock, nullptr, testdb::host()};
        QWidget admin;
        admin.setObjectName("Form3");
        admin.setWindowTitle("Properties");
        admin.resize(300, 200);
        admin.show();

        // The search dialog as the desktop shows it, then cancelled.
        onNextDialog([this](QDialog* d) {
            d->findChild<QLineEdit*>("Text1")->setText("Code");
            QTest::qWait(700);
            screenshot("Form8");
            d->reject();
        });
        runReport(ReportKind::SearchWithDateRange, ctx, &admin);

        runReport(ReportKind::AllLocations, ctx, &admin);
        ReportViewer* viewer = ReportViewer::current();
        QVERIFY(viewer);
        QCOMPARE(viewer->windowTitle(), QStringLiteral("Complete List of All Locations (100)"));
        QCOMPARE(viewer->findChild<QPushButton*>("Command1")->toolTip(),
                 QStringLiteral("Click to Print Report to Printer (HALVANEPDF)"));
        QVERIFY(QTest::qWaitForWindowExposed(viewer));
        viewer->findChild<QLineEdit*>("txtSearch")->setText("ROOM 42");
        QTest::mouseClick(viewer->findChild<QPushButton*>("cmdFindText"), Qt::LeftButton);
        QTest::qWait(700);
        screenshot("frmScreenForm");

        // The same text on a PDF file of the printer's paper size gives the page count to expect.
        const QPageSize paper = QPrinter(QPrinterInfo::defaultPrinter()).pageLayout().pageSize();
        PrinterPort reference = PrinterPort::pdfFile(m_temp.path() + "/reference.pdf", "ref", paper);
        const QFont font = viewer->textArea()->font();
        auto* refViewer = new ReportViewer(m_msg, reference); // replaces the report's viewer
        refViewer->textArea()->setFont(font);
        refViewer->load(m_temp.path() + "/report.txt");
        QTest::mouseClick(refViewer->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        ReportViewer::closeCurrent();
        const int expectedPages = pageCount(m_temp.path() + "/reference.pdf");
        QVERIFY(expectedPages >= 2);

        runReport(ReportKind::AllLocations, ctx, &admin);
        viewer = ReportViewer::current();
        QVERIFY(viewer);
        const QDateTime since = QDateTime::currentDateTime().addSecs(-1);
        QTest::mouseClick(viewer->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QCOMPARE(m_msg.boxes.size(), 0);
        const QString out = waitForOutput("Complete_List_of_All_Locations", since);
        QVERIFY2(!out.isEmpty(), qPrintable("cups-pdf wrote nothing into " + homePdfFolder()));
        QCOMPARE(pageCount(out), expectedPages);

        // The ink lies inside the one-inch frame and starts right at its left edge.
        QSize page;
        QString error;
        const QRect ink = inkBox(out, &page, &error);
        QFile::remove(out);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(!ink.isEmpty());
        QVERIFY2(ink.left() >= 71 && ink.left() <= 76, qPrintable(QString::number(ink.left())));
        QVERIFY2(ink.top() >= 71 && ink.top() <= 72 + 30, qPrintable(QString::number(ink.top())));
        QVERIFY2(ink.right() <= page.width() - 72 + 1, qPrintable(QString::number(ink.right())));
        QVERIFY2(ink.bottom() <= page.height() - 72 + 1, qPrintable(QString::number(ink.bottom())));
        ReportViewer::closeCurrent();
    }
};

int main(int argc, char** argv) {
    // The desktop and the print server come first: the application finds both when it is made.
    DesktopSession::Options options;
    options.printServer = true;
    DesktopSession desktop(options);
    if (!desktop.startForThisProcess()) return 1;
    g_desktop = &desktop;
    QApplication app(argc, argv);
    TestReportPrintingE2E test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_report_printing_e2e.moc"
