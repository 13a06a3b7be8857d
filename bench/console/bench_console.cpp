// The console on loopback: one submission end to end (purge, look-up, both rows) repeated, and the
// start-up of the main window until it is on the screen with 1,000 codes and 1,000 locations in its
// lists. Prints the figures; needs the private server on 127.0.0.1.
#include "AlertStore.h"
#include "BenchPorts.h"
#include "BenchSupport.h"
#include "Connection.h"
#include "mainwindow/MainWindow.h"
#include "shared/ConsoleContext.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QWindow>

#include <cstdio>
#include <vector>

namespace {

QElapsedTimer g_sinceMain;

void seedCatalogues(hv::Connection& c, int codes, int locations) {
    c.execute(QStringLiteral("DELETE FROM codes"));
    c.execute(QStringLiteral("DELETE FROM locations"));
    c.execute(QStringLiteral("INSERT INTO codes (CodeName, Comments) SELECT CONCAT('Code ', LPAD(seq, 4, '0')), "
                             "'All employees report to their fire watch location.' FROM seq_1_to_1000000 "
                             "WHERE seq <= ?"),
              {codes});
    c.execute(QStringLiteral("INSERT INTO locations (CodeLocation) SELECT CONCAT('Building ', seq DIV 100, ' Room ', "
                             "seq) FROM seq_1_to_1000000 WHERE seq <= ?"),
              {locations});
}

// Constructs Form1, loads it and waits until it is exposed and painted; milliseconds taken.
double startUp(hv::ConsoleContext& ctx, const QString& ini, int expectedItems, bool& right) {
    QElapsedTimer t;
    t.start();
    hv::MainWindow w(ctx, ini);
    right = w.load();
    w.show();
    while (!w.windowHandle() || !w.windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    w.repaint();
    QApplication::processEvents();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    const auto* combo1 = w.findChild<QComboBox*>(QStringLiteral("Combo1"));
    const auto* combo2 = w.findChild<QComboBox*>(QStringLiteral("Combo2"));
    right = right && combo1 && combo2 && combo1->count() == expectedItems && combo2->count() == expectedItems;
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    g_sinceMain.start();
    QApplication app(argc, argv);
    const double appMs = double(g_sinceMain.nsecsElapsed()) / 1e6;
    const QStringList a = app.arguments();
    const int submissions = bench::argument(a, "--submissions", "500").toInt();
    const int startups = bench::argument(a, "--startups", "10").toInt();
    const int items = bench::argument(a, "--items", "1000").toInt();
    const QString host = QStringLiteral("127.0.0.1");
    const hv::ServerList servers = hv::ServerList::forHosts(host);
    int status = 0;

    // Submissions first, on a live table holding earlier days that the first purge removes.
    {
        hv::Connection c(hv::DatabaseNode{host});
        seedCatalogues(c, items, items);
    }
    hv::SystemClock clock;
    std::vector<double> purge, save, total;
    for (int i = 0; i < submissions; ++i) {
        QElapsedTimer t;
        t.start();
        hv::AlertStore s(servers);
        s.fncDeleteSevenDayOldRecords(clock.now());
        const double p = double(t.nsecsElapsed()) / 1e6;
        s.save({QStringLiteral("Code 0007"), QStringLiteral("Building 0 Room 7"),
                i % 2 ? std::optional<QString>(QStringLiteral("Bench message")) : std::nullopt},
               clock);
        const double all = double(t.nsecsElapsed()) / 1e6;
        purge.push_back(p);
        save.push_back(all - p);
        total.push_back(all);
    }
    for (auto* v : {&purge, &save, &total})
        std::sort(v->begin(), v->end());
    if (submissions > 0)
        std::printf("submission x%d (purge + save): p50=%.2f ms p99=%.2f ms max=%.2f ms; purge p50=%.2f ms, save "
                    "(look-up, both rows, commit) p50=%.2f ms\n",
                    submissions, bench::quantile(total, 0.5), bench::quantile(total, 0.99), total.back(),
                    bench::quantile(purge, 0.5), bench::quantile(save, 0.5));

    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("halvane.ini"));
    {
        QFile f(ini);
        if (!f.open(QIODevice::WriteOnly)) return 2;
        f.write("MYSQLSERVERNAME=127.0.0.1\r\n");
    }
    bench::PrintingMessagePort msg;
    bench::NoExit exit;
    hv::ConsoleContext ctx{msg, exit, clock, nullptr, host};
    std::vector<double> times;
    for (int i = 0; i < startups; ++i) {
        bool right = false;
        times.push_back(startUp(ctx, ini, 2 * items, right));
        if (!right || msg.shown) {
            std::fprintf(stderr, "the main window did not fill its lists with %d items each\n", 2 * items);
            status = 1;
        }
        if (i == 0)
            std::printf("start-up, first window of the process (%d codes, %d locations): %.0f ms after QApplication "
                        "(which took %.0f ms from main)\n",
                        items, items, times[0], appMs);
    }
    if (startups > 1) {
        std::vector<double> warm(times.begin() + 1, times.end());
        std::sort(warm.begin(), warm.end());
        std::printf("start-up, later windows x%zu: p50=%.0f ms max=%.0f ms\n", warm.size(), bench::quantile(warm, 0.5),
                    warm.back());
    }
    std::fflush(stdout);
    return status;
}
