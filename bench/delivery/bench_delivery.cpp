// One alert reaching a fleet: W workstations poll on staggered timers (workstation w polls at
// w x interval / W into each interval, with the tray client's own poll), an alert is submitted
// through the console's submission code at a random moment, and every workstation's first-seen
// delay after the submission returned is recorded. Prints the distribution, how many workstations
// did not see it on their first poll that began after the submission, and who never saw it.
// With --writes each workstation also does what the tray client owes the delivery tables, through
// its own code: a check-in about once a minute (the first ones spread over the minute) on its
// poll's connection, and after every poll that showed an alert first, that alert's receipt on a
// connection of its own (the ring itself takes no time here). Then it also prints when each
// receipt of the submitted alert was written, and how many are in the database two intervals
// after the submission.
#include "AlertStore.h"
#include "BenchSupport.h"
#include "Connection.h"
#include "DeliveryTerms.h"
#include "Ports.h"
#include "SiteFacts.h"
#include "TrayStore.h"
#include "alerts/LiveAlerts.h"
#include "poll/DatabaseWorker.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSet>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    const int workstations = bench::argument(a, "--workstations", "2000").toInt();
    const double interval = bench::argument(a, "--interval", "15").toDouble();
    const int threads = bench::argument(a, "--threads", "32").toInt();
    const qint64 serverPid = bench::argument(a, "--server-pid", "0").toLongLong();
    const bool writes = a.contains("--writes");
    const QString host = QStringLiteral("127.0.0.1");
    // A list of its own for each workstation's poll, as each workstation has its own.
    const auto servers = [&host] { return hv::ServerList::forHosts(host); };

    // One workstation's delivery state; a lock because two threads may serve its polls.
    struct Workstation {
        std::mutex mutex;
        std::unique_ptr<hv::DatabaseWorker> database;
        hv::LiveAlerts alerts;
        bool markerOwed = false;
    };
    std::vector<Workstation> fleet(writes ? workstations : 0);
    for (int w = 0; w < int(fleet.size()); ++w) {
        fleet[w].database = std::make_unique<hv::DatabaseWorker>(
            servers(), hv::DatabaseAccess(),
            hv::WorkstationIdentity{QStringLiteral("bench-%1").arg(w, 5, 10, QLatin1Char('0')),
                                    QStringLiteral("bench")});
        fleet[w].database->checkIn().deferFirst(qint64(w) * hv::site::kCheckInSeconds * 1000 / workstations);
    }

    using Clock = std::chrono::steady_clock;
    using Ms = std::chrono::duration<double, std::milli>;
    const auto every = std::chrono::duration<double>(interval / workstations);
    // Every workstation polls once before the alert, which then comes at a random point of an
    // interval; polling goes on for two intervals after it, so that a late sighting is told apart
    // from none at all.
    const double submitAt = interval * (1.0 + QRandomGenerator::global()->generateDouble());
    const double endAt = submitAt + 2 * interval + 1.0;

    const QString marker = QStringLiteral("Delivery check %1").arg(QRandomGenerator::global()->generate());
    std::vector<std::atomic<qint64>> firstSeen(workstations); // ns after start; 0 = not yet
    std::vector<std::atomic<int>> pollsAfter(workstations);
    // Which of the workstation's polls after the submission was the first to show the alert.
    std::vector<std::atomic<int>> seenOnPoll(workstations);
    std::vector<std::atomic<qint64>> receiptWritten(workstations); // ns after start; 0 = not yet
    std::atomic<qint64> submittedNs{0};
    std::atomic<quint64> serial{0}, failed{0}, polls{0};
    std::atomic<double> worstLateMs{0};
    const auto showsMarker = [&marker](const hv::PollSnapshot& r) {
        return std::any_of(r.alerts.begin(), r.alerts.end(), [&](const hv::PolledAlert& alert) {
            return alert.codeMessage == marker && !alert.cancelled;
        });
    };
    Clock::time_point start = Clock::now() + std::chrono::milliseconds(200);

    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            for (;;) {
                const quint64 k = serial++;
                const auto due = start + std::chrono::duration_cast<Clock::duration>(every * double(k));
                if (std::chrono::duration<double>(due - start).count() > endAt) return;
                std::this_thread::sleep_until(due);
                const double late = Ms(Clock::now() - due).count();
                double worst = worstLateMs;
                while (late > worst && !worstLateMs.compare_exchange_weak(worst, late)) {
                }
                const int w = int(k % quint64(workstations));
                const qint64 before = submittedNs;
                hv::PollSnapshot r;
                if (writes) {
                    Workstation& ws = fleet[w];
                    std::lock_guard lock(ws.mutex);
                    const hv::LiveAlerts::Batch owed = ws.alerts.takeOwed();
                    bool rang = false;
                    hv::DatabaseWorker::PollAnswers answers;
                    answers.alerts = [&](const hv::PollSnapshot& result) {
                        r = result;
                        rang = ws.alerts.polled(result).ring;
                    };
                    answers.tooltip = [](const hv::TooltipResult&) {};
                    answers.written = [&](const hv::LiveAlerts::BatchResult& result) {
                        ws.alerts.written(owed, result);
                    };
                    ws.database->poll(false, {}, {}, owed, answers);
                    if (rang && showsMarker(r)) ws.markerOwed = true;
                    if (rang) {
                        hv::RingReport played;
                        played.result = hv::RingReport::Result::Played;
                        ws.alerts.ringing(1);
                        ws.alerts.rang(1, played);
                        const hv::LiveAlerts::Batch fresh = ws.alerts.takeOwed();
                        ws.alerts.written(fresh, ws.database->writeNow(fresh));
                    }
                    // Written here or on a later poll's connection.
                    if (ws.markerOwed && ws.alerts.pending() == 0) {
                        ws.markerOwed = false;
                        receiptWritten[w] =
                            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
                    }
                } else {
                    r = hv::TrayStore(servers()).fetchAlerts();
                }
                ++polls;
                if (r.failure || !r.statementRan) ++failed;
                // A poll counts only if it began after the submission had returned.
                if (before == 0) continue;
                const int nth = ++pollsAfter[w];
                if (showsMarker(r)) {
                    qint64 expected = 0;
                    if (firstSeen[w].compare_exchange_strong(
                            expected,
                            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count()))
                        seenOnPoll[w] = nth;
                }
            }
        });
    }

    std::this_thread::sleep_until(start +
                                  std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(submitAt)));
    hv::SystemClock clock;
    const QDateTime consoleNow = clock.now();
    const auto s0 = Clock::now();
    hv::AlertStore submission(servers());
    submission.fncDeleteSevenDayOldRecords(clock.now());
    submission.save({QStringLiteral("Code Red"), QStringLiteral("East Wing"), marker}, clock);
    const auto s1 = Clock::now();
    submittedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(s1 - start).count();
    const double cpu0 = bench::cpuSecondsOf(serverPid);
    for (auto& th : pool)
        th.join();
    const double cpu = bench::cpuSecondsOf(serverPid) - cpu0;

    // The submitted alert's receipts as the console would count them, once the fleet has stopped.
    qint64 receiptsInDb = -1, checkedIn = -1;
    if (writes) {
        try {
            hv::Connection c(hv::DatabaseNode{host});
            receiptsInDb =
                c.select(QStringLiteral("SELECT COUNT(*) FROM receipts r JOIN alerts a ON a.ID = r.AlertID AND "
                                        "a.CodeDate = r.CodeDate AND a.CodeTime = r.CodeTime WHERE a.CodeMessage = ?"),
                         {marker})
                    .value(0)
                    .value(0)
                    .toLongLong();
            checkedIn = c.select(QStringLiteral("SELECT COUNT(*) FROM workstations WHERE HostName LIKE 'bench-%'"))
                            .value(0)
                            .value(0)
                            .toLongLong();
        } catch (const hv::Failure& f) {
            std::printf("receipts could not be counted: %s\n", qPrintable(f.description()));
        }
    }

    std::vector<double> delays;
    int missed = 0, late = 0, neverPolled = 0;
    for (int w = 0; w < workstations; ++w) {
        if (pollsAfter[w] == 0) ++neverPolled;
        const qint64 seen = firstSeen[w];
        if (!seen) {
            ++missed;
            continue;
        }
        const double d = double(seen - submittedNs) / 1e6;
        delays.push_back(d);
        if (seenOnPoll[w] > 1) ++late;
    }
    std::sort(delays.begin(), delays.end());
    std::printf("workstations=%d interval_s=%.1f polls=%llu failed=%llu submitted_at=%s submission_ms=%.1f\n",
                workstations, interval, (unsigned long long)polls.load(), (unsigned long long)failed.load(),
                qPrintable(consoleNow.toString(QStringLiteral("HH:mm:ss.zzz"))), Ms(s1 - s0).count());
    std::printf("first_seen_s: min=%.2f p10=%.2f p50=%.2f p90=%.2f p99=%.2f max=%.2f; seen=%zu not_on_first_poll=%d "
                "missed=%d; worst timer lateness %.1f ms; server_cpu_pct=%.0f\n",
                delays.empty() ? 0 : delays.front() / 1e3, bench::quantile(delays, 0.1) / 1e3,
                bench::quantile(delays, 0.5) / 1e3, bench::quantile(delays, 0.9) / 1e3,
                bench::quantile(delays, 0.99) / 1e3, delays.empty() ? 0 : delays.back() / 1e3, delays.size(), late,
                missed, worstLateMs.load(), 100.0 * cpu / (endAt - submitAt));
    if (neverPolled) std::printf("workstations that did not poll after the submission: %d\n", neverPolled);
    // Deciles of the delay, as a small histogram of one interval.
    std::vector<int> bins(10, 0);
    for (double d : delays)
        ++bins[std::min(9, int(d / (interval * 100)))];
    std::printf("first seen per tenth of the interval:");
    for (int b : bins)
        std::printf(" %d", b);
    std::printf("\n");
    int receiptsLost = 0;
    if (writes) {
        std::vector<double> written;
        for (int w = 0; w < workstations; ++w)
            if (receiptWritten[w]) written.push_back(double(receiptWritten[w] - submittedNs) / 1e6);
        std::sort(written.begin(), written.end());
        const auto within =
            std::count_if(written.begin(), written.end(), [&](double ms) { return ms <= 2000 * interval; });
        receiptsLost = workstations - int(receiptsInDb);
        std::printf("receipt_written_s: p50=%.2f p99=%.2f max=%.2f; within_two_intervals=%lld of %d; in_database=%lld "
                    "lost=%d; workstations_checked_in=%lld\n",
                    bench::quantile(written, 0.5) / 1e3, bench::quantile(written, 0.99) / 1e3,
                    written.empty() ? 0 : written.back() / 1e3, (long long)within, workstations,
                    (long long)receiptsInDb, receiptsLost, (long long)checkedIn);
    }
    std::fflush(stdout);
    // Late sightings are a figure, not a fault of the measurement.
    return failed > 0 || missed > 0 || receiptsLost != 0 ? 1 : 0;
}
