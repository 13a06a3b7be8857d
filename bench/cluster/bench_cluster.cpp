// The tray client's poll on a three-node Galera cluster.
//   --mode fleet     closed loop: --threads N workstations polling back to back through the tray
//                    client's own poll (poll/TrayStore) for --seconds; --servers lists the hosts
//                    (one for a single server); with --spread, workstation k names the nodes
//                    starting from node k mod 3, as a facility spreads its halvane.ini files.
//                    --pids names the servers' processes for their CPU.
//   --mode failover  one workstation polls every --every ms through --servers; after a second the
//                    first node gets --signal (KILL: the machine's process dies; STOP: it hangs, its
//                    port still taking connections). Prints the time from the signal to the first
//                    poll that succeeded, and on which node; with --write also the time a write
//                    (the console's checked transaction) sent right after the signal takes.
// Prints one line of figures per run.
#include "BenchSupport.h"
#include "CheckedWrite.h"
#include "ServerList.h"
#include "TrayStore.h"

#include <QCoreApplication>
#include <QSqlRecord>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

QStringList hostsOf(const QStringList& a) {
    return bench::argument(a, "--servers", "127.0.0.1").split(u',', Qt::SkipEmptyParts);
}

hv::ServerList serversFrom(const QStringList& hosts, int first) {
    QList<hv::DatabaseNode> nodes;
    for (qsizetype i = 0; i < hosts.size(); ++i)
        nodes << hv::DatabaseNode(hosts[(first + i) % hosts.size()]);
    return hv::ServerList(nodes);
}

QList<qint64> pidsOf(const QStringList& a) {
    QList<qint64> pids;
    for (const QString& p : bench::argument(a, "--pids", "").split(u',', Qt::SkipEmptyParts))
        pids << p.toLongLong();
    return pids;
}

double cpuOf(const QList<qint64>& pids) {
    double s = 0;
    for (qint64 p : pids)
        s += bench::cpuSecondsOf(p);
    return s;
}

int fleet(const QStringList& a) {
    const QStringList hosts = hostsOf(a);
    const int threads = bench::argument(a, "--threads", "10").toInt();
    const double seconds = bench::argument(a, "--seconds", "5").toDouble();
    const bool spread = a.contains("--spread");
    const QList<qint64> pids = pidsOf(a);

    std::atomic<bool> go{false}, stop{false};
    std::vector<std::vector<double>> latencies(threads);
    std::vector<quint64> failures(threads, 0);
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            hv::TrayStore store(serversFrom(hosts, spread ? t % int(hosts.size()) : 0));
            auto& lat = latencies[t];
            lat.reserve(100000);
            while (!go)
                std::this_thread::yield();
            while (!stop) {
                const Clock::time_point t0 = Clock::now();
                const hv::PollSnapshot r = store.fetchAlerts();
                lat.push_back(msSince(t0));
                if (r.failure || !r.statementRan) ++failures[t];
            }
        });
    }
    const double cpu0 = cpuOf(pids);
    const Clock::time_point start = Clock::now();
    go = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(qint64(seconds * 1000)));
    stop = true;
    for (auto& th : pool)
        th.join();
    const double elapsed = msSince(start) / 1000;
    const double cpu = cpuOf(pids) - cpu0;
    std::vector<double> all;
    quint64 failed = 0;
    for (int t = 0; t < threads; ++t) {
        all.insert(all.end(), latencies[t].begin(), latencies[t].end());
        failed += failures[t];
    }
    std::sort(all.begin(), all.end());
    std::printf("servers=%lld%s threads=%-4d polls=%zu failed=%llu polls_per_s=%.0f p50_ms=%.2f p99_ms=%.2f "
                "servers_cpu_pct=%.0f\n",
                (long long)hosts.size(), spread ? " spread" : "", threads, all.size(), (unsigned long long)failed,
                double(all.size()) / elapsed, bench::quantile(all, 0.5), bench::quantile(all, 0.99),
                100.0 * cpu / elapsed);
    return failed > 0 || all.empty() ? 1 : 0;
}

int failover(const QStringList& a) {
    const QStringList hosts = hostsOf(a);
    const QList<qint64> pids = pidsOf(a);
    const int every = bench::argument(a, "--every", "100").toInt();
    const QString how = bench::argument(a, "--signal", "KILL");
    const bool write = a.contains("--write");
    if (pids.isEmpty() || hosts.size() < 2) {
        std::fprintf(stderr, "failover needs --servers with two nodes or more and --pids\n");
        return 2;
    }
    const hv::ServerList servers = serversFrom(hosts, 0);
    hv::TrayStore store(servers);

    Clock::time_point signalled;
    std::atomic<bool> sent{false};
    double firstOk = -1, longestPoll = 0;
    QString firstNode;
    int failed = 0, polls = 0;
    std::atomic<double> writeMs{-1};
    std::thread writer;
    const Clock::time_point start = Clock::now();
    while (msSince(start) < 1000 + 15000) {
        if (!sent && msSince(start) >= 1000) {
            ::kill(pid_t(pids.front()), how == "STOP" ? SIGSTOP : SIGKILL);
            signalled = Clock::now();
            sent = true;
            if (write) {
                // What a submission sent right after the loss waits for, on the nodes left.
                writer = std::thread([&] {
                    const Clock::time_point w0 = Clock::now();
                    hv::CheckedWrite w;
                    w.write = [](hv::Connection& c) {
                        c.execute("INSERT INTO AlertLog (CodeName, CodeMessage) VALUES ('Bench', 'failover')");
                    };
                    w.landed = [](hv::Connection&) { return true; };
                    try {
                        w.run(serversFrom(hosts, 0), {});
                        writeMs = msSince(w0);
                    } catch (const hv::Failure&) {
                        writeMs = -2;
                    }
                });
            }
        }
        const Clock::time_point p0 = Clock::now();
        const hv::PollSnapshot r = store.fetchAlerts();
        const double took = msSince(p0);
        ++polls;
        const bool ok = !r.failure && r.statementRan;
        if (!ok) ++failed;
        if (sent) {
            longestPoll = std::max(longestPoll, took);
            if (ok && firstOk < 0) {
                firstOk = msSince(signalled);
                firstNode = servers.preferred().host;
            }
            if (firstOk >= 0 && (!write || writeMs != -1) && msSince(signalled) > 3000) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(every));
    }
    if (writer.joinable()) writer.join();
    if (how == "STOP") ::kill(pid_t(pids.front()), SIGCONT);
    std::printf("signal=%s node_lost=%s first_poll_ok_after_ms=%.0f on=%s longest_poll_ms=%.0f polls=%d failed=%d",
                qPrintable(how), qPrintable(hosts.front()), firstOk, qPrintable(firstNode), longestPoll, polls, failed);
    if (write) std::printf(" write_after_loss_ms=%.0f", writeMs.load());
    std::printf("\n");
    return firstOk < 0 || writeMs == -2 ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    const QString mode = bench::argument(a, "--mode", "fleet");
    const int rc = mode == "failover" ? failover(a) : fleet(a);
    std::fflush(stdout);
    return rc;
}
