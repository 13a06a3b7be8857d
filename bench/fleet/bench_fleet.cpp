// Many workstations polling one server. "raw" runs the poll statement through the client library
// with no product code; "product" is the tray client's own poll (hv::TrayStore::fetchAlerts: its connection,
// the statement, the popup text, close). Two ways to load the server:
//   --threads N              closed loop: N workstations, each polling again as soon as it is done
//   --rate R --threads T     open loop: R polls per second evenly spaced (R x 15 workstations on
//                            their 15-second timers), served by T threads; latency counts from the
//                            moment a poll was due, so falling behind shows as latency
// --sql TEXT gives "raw" another statement (to compare a former poll statement in the same run).
// --delivery check-ins|receipts (product, open loop) adds what each workstation owes the delivery
// tables, through the tray client's own code: poll k is workstation k modulo (rate x 15), and one
// workstation in four checks in on its poll (a check-in a minute is one poll in four): the fleet
// at rest. With "receipts" every poll's workstation also sees the live alerts for the first time
// and writes their receipts on a connection of its own after the poll, as it does after a ring:
// the load of the interval that follows an alert.
// --direct writes them with the direct statements of a database from before the tray procedures
// (the cost of the procedures beside them, in the same run).
// --host NAME gives "product" the workstation's name, so that its poll leaves out the live alerts of
// audiences the name is outside of (without it: the poll of a workstation without a name).
// --ini FILE gives "product" the tray client's account and TLS from that halvane.ini.
// Prints one line of figures per run.
#include "BenchSupport.h"
#include "ConnectionString.h"
#include "Failure.h"
#include "IniFile.h"
#include "ServerList.h"
#include "TrayStore.h"
#include "alerts/AlertText.h"
#include "alerts/LiveAlerts.h"
#include "poll/DatabaseWorker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

QString g_rawStatement;
hv::DatabaseAccess g_access;
QString g_host;

// The same statement through plain QMYSQL: connect, query, read every column, close.
int rawPoll(quint64 serial) {
    const QString name = QStringLiteral("raw-%1").arg(serial);
    int rows = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), name);
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setPort(3306);
        db.setDatabaseName(QStringLiteral("halvane"));
        db.setUserName(QStringLiteral("root"));
        db.setPassword(QLatin1String(hv::kDatabasePassword));
        if (db.open()) {
            QSqlQuery q(db);
            q.setForwardOnly(true);
            if (q.exec(g_rawStatement)) {
                rows = 0;
                while (q.next()) {
                    for (int i = 0; i < 7; ++i)
                        (void)q.value(i);
                    ++rows;
                }
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

// A list of its own for each poll, as each workstation has its own.
hv::ServerList servers() {
    return hv::ServerList::forHosts(QStringLiteral("127.0.0.1"));
}

// The tray client's poll without its windows: its connection, the statement, the popup's text.
int productPoll(quint64) {
    hv::TrayStore store(servers(), g_access);
    store.setHostName(g_host);
    const hv::PollSnapshot r = store.fetchAlerts();
    if (r.failure || !r.statementRan) return -1;
    QString text;
    for (const hv::PolledAlert& a : r.alerts)
        text += hv::alertText::block(a);
    return int(r.alerts.size());
}

// One simulated workstation's database side and live-alert picture; a lock because two threads
// may serve its polls.
struct Workstation {
    std::mutex mutex;
    std::unique_ptr<hv::DatabaseWorker> database;
    hv::LiveAlerts alerts;
    qint64 receiptsWritten = 0;
};

std::vector<Workstation>* g_workstations = nullptr;
bool g_receipts = false;

// The tray client's poll with its delivery writes: the check-in when due on the poll's connection,
// then the receipts of the alerts it showed first on a connection of their own (the ring itself is
// not played: it costs the server nothing).
int deliveryPoll(quint64 serial) {
    Workstation& w = (*g_workstations)[serial % g_workstations->size()];
    std::lock_guard lock(w.mutex);
    int rows = -1;
    bool rang = false;
    const auto count = [&w](const hv::LiveAlerts::Batch& batch, const hv::LiveAlerts::BatchResult& r) {
        if (r.receipts == hv::WriteOutcome::Written) w.receiptsWritten += batch.receipts.size();
        w.alerts.written(batch, r);
    };
    const hv::LiveAlerts::Batch owed = w.alerts.takeOwed();
    hv::DatabaseWorker::PollAnswers answers;
    answers.alerts = [&](const hv::PollSnapshot& s) {
        if (s.failure || !s.statementRan) return;
        rows = int(s.alerts.size());
        rang = w.alerts.polled(s).ring;
    };
    answers.tooltip = [](const hv::TooltipResult&) {};
    answers.written = [&](const hv::LiveAlerts::BatchResult& r) { count(owed, r); };
    w.database->poll(false, {}, {}, owed, answers);
    if (rang && g_receipts) {
        hv::RingReport played;
        played.result = hv::RingReport::Result::Played;
        w.alerts.ringing(1);
        w.alerts.rang(1, played);
        const hv::LiveAlerts::Batch fresh = w.alerts.takeOwed();
        count(fresh, w.database->writeNow(fresh));
    }
    return rows;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    const QString mode = bench::argument(a, "--mode", "raw");
    const int threads = bench::argument(a, "--threads", "100").toInt();
    const double rate = bench::argument(a, "--rate", "0").toDouble();
    const double seconds = bench::argument(a, "--seconds", "5").toDouble();
    const qint64 serverPid = bench::argument(a, "--server-pid", "0").toLongLong();
    const bool open = rate > 0;
    const QString deliveryWrites = bench::argument(a, "--delivery", "");
    const bool delivery = !deliveryWrites.isEmpty() && mode == "product" && open;
    g_receipts = deliveryWrites == "receipts";
    std::vector<Workstation> workstations(delivery ? size_t(rate * 15) : 0);
    for (size_t w = 0; w < workstations.size(); ++w) {
        workstations[w].database = std::make_unique<hv::DatabaseWorker>(
            servers(), g_access,
            hv::WorkstationIdentity{QStringLiteral("bench-%1").arg(w, 5, 10, QLatin1Char('0')),
                                    QStringLiteral("bench")});
        // Due on the first poll for one in four; the others not within the run.
        workstations[w].database->checkIn().deferFirst(w % 4 == 0 ? 0 : 3600000);
        if (a.contains("--direct")) workstations[w].database->checkIn().doors().procedureMissing();
    }
    g_workstations = &workstations;
    const std::function<int(quint64)> poll = delivery ? deliveryPoll : mode == "product" ? productPoll : rawPoll;
    g_rawStatement = bench::argument(a, "--sql", hv::TrayStore::pollStatement());
    g_host = bench::argument(a, "--host", QString());
    if (const QString ini = bench::argument(a, "--ini", QString()); !ini.isEmpty()) try {
            g_access = hv::fncReadINI(ini).trayAccess();
        } catch (const hv::Failure& f) {
            fprintf(stderr, "%s: %s\n", qPrintable(ini), qPrintable(f.description()));
            return 2;
        }

    using Clock = std::chrono::steady_clock;
    std::atomic<bool> go{false}, stop{false};
    std::atomic<quint64> serial{0};
    Clock::time_point start;
    std::vector<std::vector<double>> latencies(threads);
    std::vector<quint64> failures(threads, 0);
    std::vector<long> rowsSeen(threads, 0);
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            auto& lat = latencies[t];
            lat.reserve(200000);
            while (!go)
                std::this_thread::yield();
            while (!stop) {
                const quint64 k = serial++;
                Clock::time_point due = Clock::now();
                if (open) {
                    due = start + std::chrono::nanoseconds(qint64(double(k) * 1e9 / rate));
                    if (due - start > std::chrono::duration<double>(seconds)) break;
                    std::this_thread::sleep_until(due);
                }
                const int rows = poll(k);
                lat.push_back(std::chrono::duration<double, std::milli>(Clock::now() - due).count());
                if (rows < 0)
                    ++failures[t];
                else
                    rowsSeen[t] = rows;
            }
        });
    }
    const double cpu0 = bench::cpuSecondsOf(serverPid);
    start = Clock::now();
    go = true;
    if (!open) {
        std::this_thread::sleep_for(std::chrono::milliseconds(qint64(seconds * 1000)));
        stop = true;
    }
    for (auto& th : pool)
        th.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = bench::cpuSecondsOf(serverPid) - cpu0;

    std::vector<double> all;
    quint64 failed = 0;
    long rows = 0;
    for (int t = 0; t < threads; ++t) {
        all.insert(all.end(), latencies[t].begin(), latencies[t].end());
        failed += failures[t];
        rows = std::max(rows, rowsSeen[t]);
    }
    std::sort(all.begin(), all.end());
    qint64 receipts = 0, checkIns = 0, owed = 0;
    for (const Workstation& w : workstations) {
        receipts += w.receiptsWritten;
        checkIns += w.database->checkIn().written();
        owed += w.alerts.pending();
    }
    std::printf("mode=%-7s %s=%-5d polls=%zu failed=%llu rows=%ld seconds=%.1f polls_per_s=%.0f p50_ms=%.2f "
                "p99_ms=%.2f max_ms=%.2f server_cpu_pct=%.0f\n",
                qPrintable(mode), open ? "rate" : "threads", open ? int(rate) : threads, all.size(),
                (unsigned long long)failed, rows, elapsed, double(all.size()) / elapsed, bench::quantile(all, 0.5),
                bench::quantile(all, 0.99), all.empty() ? 0.0 : all.back(), 100.0 * cpu / elapsed);
    if (delivery)
        std::printf("  delivery %s: receipts=%lld check_ins=%lld still_owed=%lld server_cpu_ms=%.0f\n",
                    qPrintable(deliveryWrites), (long long)receipts, (long long)checkIns, (long long)owed, cpu * 1000);
    std::fflush(stdout);
    return failed > 0 || owed > 0 || all.empty() ? 1 : 0;
}
