// The all-alerts report for many AlertLog rows: time from the menu click to the viewer showing
// its text, and the peak memory of the process. Needs the private database server on 127.0.0.1.
#include "BenchPorts.h"
#include "Connection.h"
#include "Ports.h"
#include "reports/PrinterPort.h"
#include "reports/ReportViewer.h"
#include "reports/ReportsEntry.h"
#include "shared/ConsoleContext.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QWindow>
#include <cstdio>
#include <sys/resource.h>

namespace {

using bench::NoExit;
using bench::PrintingMessagePort;

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    qint64 rows = 100000;
    const QStringList args = app.arguments();
    if (const qsizetype i = args.indexOf(QStringLiteral("--rows")); i >= 0 && i + 1 < args.size())
        rows = args[i + 1].toLongLong();

    QTemporaryDir temp;
    qputenv("Temp", QFile::encodeName(temp.path()));
    const QString host = QStringLiteral("127.0.0.1");
    try {
        hv::Connection c(hv::DatabaseNode{host});
        c.execute(QStringLiteral("DELETE FROM AlertLog"));
        c.execute(
            QStringLiteral(
                "INSERT INTO AlertLog (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation, Comments) "
                "WITH d AS (SELECT 0 i UNION ALL SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3 UNION ALL SELECT 4 "
                "UNION ALL SELECT 5 UNION ALL SELECT 6 UNION ALL SELECT 7 UNION ALL SELECT 8 UNION ALL SELECT 9), "
                "n AS (SELECT a.i + 10 * b.i + 100 * c.i + 1000 * e.i + 10000 * f.i + 100000 * g.i + 1 AS i "
                "FROM d a, d b, d c, d e, d f, d g) "
                "SELECT CONCAT('Code ', ELT(1 + i % 4, 'Red', 'Blue', 'Grey', 'Orange')), "
                "IF(i % 3 = 0, NULL, CONCAT('Custom message number ', i)), "
                "DATE_SUB('2012-04-01', INTERVAL i % 3650 DAY), SEC_TO_TIME((i * 60) % 86400), "
                "ELT(1 + i % 3, 'Main Lobby', 'East Wing', 'Loading Dock'), "
                "'All employees report to their fire watch location.' FROM n WHERE i <= ?"),
            {rows});
    } catch (const hv::Failure& f) {
        std::fprintf(stderr, "cannot seed the database on %s: %lld %s\n", qPrintable(host), f.number(),
                     qPrintable(f.description()));
        return 2;
    }

    PrintingMessagePort msg;
    NoExit exit;
    hv::SystemClock clock;
    hv::PrinterPort printer = hv::PrinterPort::pdfFile(temp.path() + QStringLiteral("/unused.pdf"));
    hv::ConsoleContext ctx{msg, exit, clock, &printer, host};
    QWidget admin;
    admin.setObjectName(QStringLiteral("Form3"));
    admin.show();
    app.processEvents();

    const long before = peakKilobytes();
    QElapsedTimer timer;
    timer.start();
    hv::runReport(hv::ReportKind::AllAlerts, ctx, &admin);
    hv::ReportViewer* viewer = hv::ReportViewer::current();
    if (!viewer) {
        std::fprintf(stderr, "no viewer came up\n");
        return 1;
    }
    // Until its text is on the screen.
    while (!viewer->windowHandle() || !viewer->windowHandle()->isExposed())
        app.processEvents(QEventLoop::AllEvents, 10);
    viewer->repaint();
    app.processEvents();
    const qint64 ms = timer.elapsed();

    const QString expected = QStringLiteral("Complete List of All Halvane Records (%1)").arg(rows);
    const bool right = viewer->windowTitle() == expected && msg.shown == 0;
    std::printf("all-alerts report, %lld rows: %lld ms from click to text on screen; peak memory %.1f MB "
                "(%.1f MB before the click); %lld characters shown\n",
                rows, ms, peakKilobytes() / 1024.0, before / 1024.0,
                qint64(viewer->textArea()->document()->characterCount()));
    if (!right) {
        std::fprintf(stderr, "wrong report: %s\n", qPrintable(viewer->windowTitle()));
        return 1;
    }
    return 0;
}
