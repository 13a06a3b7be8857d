// "Print" on a real print server: a CUPS server of the test's own with a cups-pdf queue as the
// default printer, on a real X server with a window manager.
#include "ConsoleKit.h"
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

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using hv::PrinterPort;
using hv::ReportKind;
using hv::ReportViewer;

namespace {

// The desktop and the print server, started before the application so that it finds both.
struct Desktop {
    std::string dir;
    std::string display;
    std::vector<pid_t> pids;
    std::string error;

    static pid_t spawn(const std::vector<std::string>& args, int stdoutFd = -1, int keepFd = -1) {
        const pid_t pid = fork();
        if (pid == 0) {
            if (stdoutFd >= 0) dup2(stdoutFd, 1);
            for (int fd = 3; fd < 256; ++fd)
                if (fd != keepFd) close(fd);
            std::vector<char*> argv;
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        return pid;
    }

    static bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

    static void write(const std::string& path, const std::string& text) {
        FILE* f = std::fopen(path.c_str(), "w");
        if (f) {
            std::fputs(text.c_str(), f);
            std::fclose(f);
        }
    }

    bool startX() {
        int fds[2];
        if (pipe(fds) != 0) return false;
        pids.push_back(
            spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x800x24", "-nolisten", "tcp"}, -1,
                  fds[1]));
        close(fds[1]);
        char buf[32] = {};
        const ssize_t n = read(fds[0], buf, sizeof buf - 1);
        close(fds[0]);
        if (n <= 0) {
            error = "Xvfb did not start (is the xvfb package installed?)";
            return false;
        }
        display = ":" + std::string(buf, strcspn(buf, "\n"));
        setenv("DISPLAY", display.c_str(), 1);
        pids.push_back(spawn({"openbox", "--sm-disable"}));
        return true;
    }

    bool startCups() {
        const std::string d = dir;
        for (const char* sub : {"/etc", "/etc/ppd", "/spool", "/spool/tmp", "/cache", "/state", "/log"})
            mkdir((d + sub).c_str(), 0755);
        write(d + "/cups-files.conf", "ServerRoot " + d + "/etc\nRequestRoot " + d + "/spool\nTempDir " + d +
                                          "/spool/tmp\nCacheDir " + d + "/cache\nStateDir " + d + "/state\nErrorLog " +
                                          d + "/log/error_log\nAccessLog " + d + "/log/access_log\nPageLog " + d +
                                          "/log/page_log\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"
                                          "User lp\nGroup lp\nSystemGroup root\nFileDevice no\nSandboxing Relaxed\n");
        write(d + "/cupsd.conf",
              "Listen " + d +
                  "/cups.sock\nLogLevel warn\nWebInterface no\nBrowsing No\n"
                  "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                  "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n");
        setenv("CUPS_SERVER", (d + "/cups.sock").c_str(), 1);
        if (access("/usr/sbin/cupsd", X_OK) != 0 || access("/usr/lib/cups/backend/cups-pdf", F_OK) != 0) {
            error = "cupsd or the cups-pdf backend is missing (packages cups, printer-driver-cups-pdf)";
            return false;
        }
        pids.push_back(spawn({"/usr/sbin/cupsd", "-f", "-c", d + "/cupsd.conf", "-s", d + "/cups-files.conf"}));
        bool up = false;
        for (int i = 0; i < 100 && !up; ++i) {
            up = run("lpstat -r 2>/dev/null | grep -q \"is running\"");
            if (!up) usleep(100000);
        }
        if (!up) {
            error = "the test's cupsd did not answer; see " + d + "/log/error_log";
            return false;
        }
        if (!run("lpadmin -p HALVANEPDF -E -v cups-pdf:/ -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd && "
                 "lpadmin -d HALVANEPDF")) {
            error = "lpadmin could not add the cups-pdf queue";
            return false;
        }
        return true;
    }

    Desktop() {
        char tmpl[] = "/tmp/hv-e2e-XXXXXX";
        if (!mkdtemp(tmpl)) {
            error = "no temporary folder";
            return;
        }
        dir = tmpl;
        // The print server's filters run as lp and must reach the spool.
        chmod(dir.c_str(), 0755);
        if (startX()) startCups();
    }

    ~Desktop() {
        for (auto it = pids.rbegin(); it != pids.rend(); ++it) {
            kill(*it, SIGTERM);
            waitpid(*it, nullptr, 0);
        }
        run("rm -rf '" + dir + "'");
    }
};

Desktop* g_desktop = nullptr;

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
        QProcess::execute("import", {"-display", QString::fromStdString(g_desktop->display), "-window", "root",
                                     dir + "/" + name + ".png"});
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
        QVERIFY2(g_desktop->error.empty(), g_desktop->error.c_str());
        QVERIFY(m_temp.isValid());
        qputenv("Temp", QFile::encodeName(m_temp.path()));
        REQUIRE_DB();
        QCOMPARE(PrinterPort::systemDefault().deviceName(), QStringLiteral("HALVANEPDF"));
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
    Desktop desktop;
    g_desktop = &desktop;
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    TestReportPrintingE2E test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_report_printing_e2e.moc"
