// One alert reaching a fleet by the wake-up channel. Each simulated workstation is the tray
// client's own code without its windows: a WakeClient holding a connection to one of the site's
// brokers, the message judged as Morvik judges it, its LiveAlerts picture (shown and rung at once),
// and its DatabaseWorker polling every interval on a staggered timer, whose next poll writes the
// receipt of what came by wake-up (only where that poll found the alert). The alert is submitted
// through the console's own submission store and announced through its own publisher, to every
// broker, right after the commit.
//
//   bench_wake run --workstations W --processes P [--brokers H:P,H:P] [--kill-brokers] ...
//
// spreads the fleet over P processes of its own (this machine allows 20,000 open files per
// process), workstation w on broker w mod B; waits until every workstation is subscribed; submits
// at a random point of an interval; and prints, for every workstation, how long after the commit
// it showed the alert (p50, p99, max, missed, and by which way it came), and when each receipt
// was written and how many the database holds two intervals after the submission. Without
// --brokers nobody listens: today's poll-only delivery, in the same run. With --kill-brokers the
// brokers are killed once the fleet is subscribed: every alert must then come by poll.
//
//   bench_wake fleet ...     one such process (started by "run"; speaks on its standard streams)
#include "AlertStore.h"
#include "BenchSupport.h"
#include "Connection.h"
#include "Ports.h"
#include "SiteFacts.h"
#include "WakeClient.h"
#include "WakeMessage.h"
#include "WakePublisher.h"
#include "alerts/LiveAlerts.h"
#include "poll/DatabaseWorker.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QProcess>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

qint64 wallNs() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void raiseOpenFiles() {
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) == 0 && r.rlim_cur < r.rlim_max) {
        r.rlim_cur = r.rlim_max;
        setrlimit(RLIMIT_NOFILE, &r);
    }
}

QStringList split(const QString& list) {
    return list.split(u',', Qt::SkipEmptyParts);
}

// One simulated workstation. Its picture is touched by the poll threads and by the wake-up side on
// the main thread, hence the lock, held only while the picture changes (the real tray client keeps
// the picture on its window thread and the database work on another); its database side is one
// poll at a time.
struct Workstation {
    std::mutex mutex;
    std::mutex polling;
    std::unique_ptr<hv::DatabaseWorker> database;
    hv::LiveAlerts alerts;
    hv::WakeClient* client = nullptr;
    int tickets = 0;
    bool markerOwed = false;
    std::atomic<qint64> shownNs{0};
    std::atomic<int> channel{0}; // 1 wake-up, 2 poll
    std::atomic<qint64> receiptNs{0};
};

// The ring itself takes no time here: rung at once, its receipt owed.
void ring(Workstation& ws) {
    hv::RingReport played;
    played.result = hv::RingReport::Result::Played;
    const int ticket = ++ws.tickets;
    ws.alerts.ringing(ticket);
    ws.alerts.rang(ticket, played);
}

int fleet(const QStringList& a) {
    raiseOpenFiles();
    // The simulated workstations stand for machines of their own: they yield the shared cores to
    // the servers (database and brokers), which a real site runs on theirs.
    if (const int nice = bench::argument(a, "--nice", "0").toInt(); nice > 0) setpriority(PRIO_PROCESS, 0, nice);
    const int first = bench::argument(a, "--first", "0").toInt();
    const int count = bench::argument(a, "--count", "100").toInt();
    const int total = bench::argument(a, "--workstations", QString::number(count)).toInt();
    const double interval = bench::argument(a, "--interval", "15").toDouble();
    const int threads = bench::argument(a, "--threads", "16").toInt();
    const QStringList brokers = split(bench::argument(a, "--brokers", ""));
    const QString marker = bench::argument(a, "--marker", "");
    const QString host = QStringLiteral("127.0.0.1");

    hv::WakeSettings wake;
    wake.user = bench::argument(a, "--user", "morvik");
    wake.password = bench::argument(a, "--password", "WAKE-SUB-90274");
    wake.site = hv::WakeSettings::defaultSite();

    std::vector<Workstation> fleet(count);
    std::atomic<int> connected{0};
    // Every client's socket in one epoll: a thread's poll() over thousands of sockets would cost
    // this process more than the messages themselves (a workstation's tray client has one).
    const int epoll = epoll_create1(EPOLL_CLOEXEC);
    std::vector<int> sockets(count, -1);
    for (int i = 0; i < count; ++i) {
        const int w = first + i;
        Workstation& ws = fleet[i];
        ws.database = std::make_unique<hv::DatabaseWorker>(
            hv::ServerList::forHosts(host), hv::DatabaseAccess(),
            hv::WorkstationIdentity{QStringLiteral("bench-%1").arg(w, 5, 10, QLatin1Char('0')),
                                    QStringLiteral("bench")});
        ws.database->checkIn().deferFirst(qint64(w) * hv::site::kCheckInSeconds * 1000 / total);
        if (brokers.isEmpty()) continue;
        ws.alerts.setWakeChannel(true);
        hv::WakeSettings mine = wake;
        mine.brokers << hv::WakeSettings::brokerOf(brokers[w % brokers.size()], false);
        ws.client = new hv::WakeClient(mine, QStringLiteral("bench-%1").arg(w));
        ws.client->setSocketWatcher([epoll, i, &sockets](int fd, bool wantWrite) {
            if (fd < 0 || (sockets[i] >= 0 && sockets[i] != fd)) {
                if (sockets[i] >= 0) epoll_ctl(epoll, EPOLL_CTL_DEL, sockets[i], nullptr);
                sockets[i] = -1;
                if (fd < 0) return;
            }
            epoll_event e{};
            e.events = uint32_t(EPOLLIN) | (wantWrite ? uint32_t(EPOLLOUT) : 0u);
            e.data.u32 = uint32_t(i);
            epoll_ctl(epoll, sockets[i] == fd ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &e);
            sockets[i] = fd;
        });
        QObject::connect(ws.client, &hv::WakeClient::connected, [&connected] { ++connected; });
        QObject::connect(ws.client, &hv::WakeClient::received, [&ws, &wake, &marker](const QByteArray& payload) {
            const hv::ParsedWake parsed = hv::WakeMessage::parse(payload, wake.site);
            if (!parsed.message || !parsed.message->plausibleAt(QDateTime::currentDateTime())) return;
            const hv::WakeMessage& m = *parsed.message;
            if (m.kind != hv::WakeMessage::Kind::Alert) return;
            hv::PolledAlert alert;
            alert.key = {m.id, m.codeDate, m.codeTime};
            alert.codeName = m.codeName;
            alert.codeLocation = m.codeLocation;
            alert.codeMessage = m.codeMessage;
            alert.comments = m.comments;
            const qint64 now = wallNs();
            std::lock_guard lock(ws.mutex);
            if (!ws.alerts.woken(alert).ring) return;
            ring(ws);
            if (m.codeMessage != marker) return;
            qint64 expected = 0;
            if (ws.shownNs.compare_exchange_strong(expected, now)) ws.channel = 1;
            ws.markerOwed = true;
        });
    }
    for (Workstation& ws : fleet)
        if (ws.client) ws.client->start();

    using Clock = std::chrono::steady_clock;
    std::atomic<bool> stop{false};
    std::atomic<quint64> serial{0}, failed{0};
    const auto every = std::chrono::duration<double>(interval / count);
    // Each process's fleet starts its timers at a point of its own in the interval.
    const auto start = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                                          interval * QRandomGenerator::global()->generateDouble()));
    const auto showsMarker = [&marker](const hv::PollSnapshot& r) {
        return std::any_of(r.alerts.begin(), r.alerts.end(),
                           [&](const hv::PolledAlert& alert) { return alert.codeMessage == marker; });
    };
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            while (!stop) {
                const quint64 k = serial++;
                const auto due = start + std::chrono::duration_cast<Clock::duration>(every * double(k));
                while (Clock::now() < due && !stop)
                    std::this_thread::sleep_for(
                        std::min<Clock::duration>(due - Clock::now(), std::chrono::milliseconds(100)));
                if (stop) return;
                Workstation& ws = fleet[k % quint64(count)];
                std::lock_guard poll(ws.polling);
                hv::LiveAlerts::Batch owed;
                {
                    std::lock_guard lock(ws.mutex);
                    owed = ws.alerts.takeOwed(true);
                    ws.alerts.pollStarting();
                }
                bool rang = false, marked = false;
                hv::DatabaseWorker::PollAnswers answers;
                answers.alerts = [&](const hv::PollSnapshot& r) {
                    if (r.failure || !r.statementRan) ++failed;
                    std::lock_guard lock(ws.mutex);
                    rang = ws.alerts.polled(r).ring;
                    marked = showsMarker(r);
                    if (rang && marked) {
                        qint64 expected = 0;
                        if (ws.shownNs.compare_exchange_strong(expected, wallNs())) ws.channel = 2;
                        ws.markerOwed = true;
                    }
                };
                answers.tooltip = [](const hv::TooltipResult&) {};
                answers.written = [&](const hv::LiveAlerts::BatchResult& r) {
                    std::lock_guard lock(ws.mutex);
                    ws.alerts.written(owed, r);
                };
                ws.database->poll(false, {}, {}, owed, answers);
                if (rang) {
                    // As the tray client does after a ring of what came by poll.
                    hv::LiveAlerts::Batch fresh;
                    {
                        std::lock_guard lock(ws.mutex);
                        ring(ws);
                        fresh = ws.alerts.takeOwed(false);
                    }
                    const hv::LiveAlerts::BatchResult result = ws.database->writeNow(fresh);
                    std::lock_guard lock(ws.mutex);
                    ws.alerts.written(fresh, result);
                }
                std::lock_guard lock(ws.mutex);
                if (ws.markerOwed && ws.alerts.pending() == 0) {
                    ws.markerOwed = false;
                    ws.receiptNs = wallNs();
                }
            }
        });
    }

    // Tells the parent how many are subscribed until all are; "stop" on the standard input ends it.
    QTextStream out(stdout);
    QTimer report;
    int lastReported = -1;
    QObject::connect(&report, &QTimer::timeout, [&] {
        const int n = brokers.isEmpty() ? count : connected.load();
        if (n == lastReported) return;
        lastReported = n;
        out << "connected " << n << Qt::endl;
    });
    report.start(200);
    bool quit = false;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[64];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0 || QByteArray(buffer, int(n)).contains("stop")) quit = true;
    });
    std::vector<epoll_event> ready(4096);
    while (!quit) {
        const int n = epoll_wait(epoll, ready.data(), int(ready.size()), 10);
        for (int k = 0; k < n; ++k) {
            hv::WakeClient* client = fleet[ready[k].data.u32].client;
            if (ready[k].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) client->readable();
            if (ready[k].events & EPOLLOUT) client->writable();
        }
        // The clients' timers, the report and the standard input.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    stop = true;
    for (auto& th : pool)
        th.join();
    for (Workstation& ws : fleet)
        if (ws.client) ws.client->stop();
    for (int i = 0; i < count; ++i)
        out << "w " << first + i << ' ' << fleet[i].shownNs.load() << ' ' << fleet[i].channel.load() << ' '
            << fleet[i].receiptNs.load() << '\n';
    out << "failed " << failed.load() << Qt::endl;
    return 0;
}

int run(const QStringList& a) {
    const int workstations = bench::argument(a, "--workstations", "1000").toInt();
    const int processes = std::max(1, bench::argument(a, "--processes", "2").toInt());
    const QString brokers = bench::argument(a, "--brokers", "");
    const bool killBrokers = a.contains("--kill-brokers");
    const QString interval = bench::argument(a, "--interval", "15");
    const QString threads = bench::argument(a, "--threads", "16");
    const QString killCommand = bench::argument(a, "--kill-command", "");
    const QString nice = bench::argument(a, "--nice", "0");
    const double seconds = interval.toDouble();
    const QString marker = QStringLiteral("Wake check %1").arg(QRandomGenerator::global()->generate());
    QTextStream out(stdout);

    std::vector<std::unique_ptr<QProcess>> children;
    std::vector<int> connected(processes, 0);
    const int per = (workstations + processes - 1) / processes;
    for (int p = 0; p < processes; ++p) {
        const int first = p * per;
        const int count = std::min(per, workstations - first);
        if (count <= 0) break;
        auto child = std::make_unique<QProcess>();
        child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child->start(QCoreApplication::applicationFilePath(),
                     {"fleet", "--first", QString::number(first), "--count", QString::number(count), "--workstations",
                      QString::number(workstations), "--interval", interval, "--threads", threads, "--brokers", brokers,
                      "--marker", marker});
        if (!child->waitForStarted(10000)) {
            out << "a fleet process did not start" << Qt::endl;
            return 2;
        }
        children.push_back(std::move(child));
    }
    const int spawned = int(children.size());
    const auto readLines = [&](int p, const std::function<void(const QByteArray&)>& line) {
        while (children[p]->canReadLine())
            line(children[p]->readLine().trimmed());
    };

    // Everyone subscribed (or, without brokers, simply running); a fleet that cannot get there in a
    // minute is reported as it stands.
    QElapsedTimer waited;
    waited.start();
    int ready = 0;
    while (waited.elapsed() < 60000) {
        for (int p = 0; p < spawned; ++p) {
            children[p]->waitForReadyRead(20);
            readLines(p, [&](const QByteArray& l) {
                if (l.startsWith("connected ")) connected[p] = l.mid(10).toInt();
            });
            if (children[p]->state() == QProcess::NotRunning) {
                out << "a fleet process ended before the alert (exit status " << children[p]->exitCode() << ")"
                    << Qt::endl;
                return 2;
            }
        }
        ready = 0;
        for (int p = 0; p < spawned; ++p)
            ready += connected[p];
        if (ready >= workstations) break;
    }
    const double connectSeconds = waited.elapsed() / 1000.0;
    if (ready < workstations) out << "only " << ready << " of " << workstations << " subscribed" << Qt::endl;
    if (killBrokers && !killCommand.isEmpty()) QProcess::execute(QStringLiteral("bash"), {"-c", killCommand});

    // One full interval of polls before the alert, which then comes at a random point of the next.
    QThread::msleep(ulong(1000 * seconds * (1.0 + QRandomGenerator::global()->generateDouble())));
    hv::SystemClock clock;
    const hv::ServerList servers = hv::ServerList::forHosts(QStringLiteral("127.0.0.1"));
    hv::AlertStore submission(servers);
    submission.fncDeleteSevenDayOldRecords(clock.now());
    const hv::AlertStore::Saved saved =
        submission.save({QStringLiteral("Code Red"), QStringLiteral("East Wing"), marker}, clock);
    const qint64 committedNs = wallNs();
    hv::WakeSettings wake;
    for (const QString& b : split(brokers))
        wake.brokers << hv::WakeSettings::brokerOf(b, false);
    wake.user = QStringLiteral("halvane");
    wake.password = QStringLiteral("WAKE-PUB-41736");
    wake.site = hv::WakeSettings::defaultSite();
    const hv::WakePublisher publisher(wake);
    const hv::WakePublisher::Outcome published = publisher.publishWithin(publisher.messagesFor(saved.alerts));
    const double publishMs = double(wallNs() - committedNs) / 1e6;

    // Two intervals and a little: a receipt is due within two.
    QThread::msleep(ulong(1000 * (2 * seconds + 2)));
    for (auto& child : children) {
        child->write("stop\n");
        child->closeWriteChannel();
    }
    std::vector<double> shown, receipts;
    int byWake = 0, byPoll = 0, missed = 0;
    quint64 pollFailures = 0;
    for (int p = 0; p < spawned; ++p) {
        if (!children[p]->waitForFinished(60000)) {
            out << "a fleet process did not end; killed" << Qt::endl;
            children[p]->kill();
            children[p]->waitForFinished(5000);
        }
        readLines(p, [&](const QByteArray& l) {
            const QList<QByteArray> f = l.split(' ');
            if (f.value(0) == "failed") pollFailures += f.value(1).toULongLong();
            if (f.value(0) != "w" || f.size() < 5) return;
            const qint64 at = f[2].toLongLong();
            if (at == 0) {
                ++missed;
                return;
            }
            shown.push_back(double(at - committedNs) / 1e6);
            (f[3] == "1" ? byWake : byPoll) += 1;
            if (const qint64 r = f[4].toLongLong(); r) receipts.push_back(double(r - committedNs) / 1e6);
        });
    }
    std::sort(shown.begin(), shown.end());
    std::sort(receipts.begin(), receipts.end());
    qint64 inDatabase = -1;
    try {
        hv::Connection c(hv::DatabaseNode{QStringLiteral("127.0.0.1")});
        inDatabase = c.select(QStringLiteral("SELECT COUNT(*) FROM receipts r JOIN alerts a ON a.ID = r.AlertID AND "
                                             "a.CodeDate = r.CodeDate AND a.CodeTime = r.CodeTime WHERE "
                                             "a.CodeMessage = ?"),
                              {marker})
                         .value(0)
                         .value(0)
                         .toLongLong();
    } catch (const hv::Failure& f) {
        out << "receipts could not be counted: " << f.description() << Qt::endl;
    }
    // Without polls (--threads 0) nothing writes receipts: the channel's own figures alone.
    const bool polls = threads.toInt() > 0;
    const auto within =
        std::count_if(receipts.begin(), receipts.end(), [&](double ms) { return ms <= 2000 * seconds; });
    out << QString::asprintf(
               "workstations=%d processes=%d brokers=%s%s subscribed=%d in %.1f s; published to %lld broker(s) (%lld "
               "more took it without acknowledging within the bound) in %.1f ms after the commit%s\n",
               workstations, spawned, brokers.isEmpty() ? "none" : qPrintable(brokers),
               killBrokers ? " (killed before the alert)" : "", ready, connectSeconds,
               (long long)published.reached.size(), (long long)published.unacknowledged.size(), publishMs,
               published.problems.isEmpty() ? "" : qPrintable("; not reached: " + published.problems.join("; ")))
        << QString::asprintf("shown_after_commit_ms: p50=%.1f p99=%.1f max=%.1f; shown=%zu by_wake=%d by_poll=%d "
                             "missed=%d poll_failures=%llu\n",
                             bench::quantile(shown, 0.5), bench::quantile(shown, 0.99),
                             shown.empty() ? 0.0 : shown.back(), shown.size(), byWake, byPoll, missed,
                             (unsigned long long)pollFailures)
        << (polls ? QString::asprintf("receipt_written_s: p50=%.2f p99=%.2f max=%.2f; within_two_intervals=%lld of %d; "
                                      "in_database=%lld lost=%lld\n",
                                      bench::quantile(receipts, 0.5) / 1e3, bench::quantile(receipts, 0.99) / 1e3,
                                      receipts.empty() ? 0.0 : receipts.back() / 1e3, (long long)within, workstations,
                                      (long long)inDatabase, (long long)(workstations - inDatabase))
                  : QStringLiteral("no polls: receipts are not written in this run\n"));
    out.flush();
    return missed > 0 || (polls && inDatabase != workstations) ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    const QString mode = a.value(1);
    if (mode == "fleet") return fleet(a);
    if (mode == "run") return run(a);
    std::fprintf(stderr, "usage: bench_wake run --workstations W --processes P [--brokers H:P,...] [--kill-brokers "
                         "--kill-command CMD] [--interval S] [--threads T]\n");
    return 2;
}
