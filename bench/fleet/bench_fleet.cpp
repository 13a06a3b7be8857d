// Many workstations polling one server: each thread is a workstation that polls back to back
// (closed loop) for the given time. "raw" is the client library with no product code; "product"
// is the tray client's own poll. Prints one line of figures per run.
#include "Connection.h"
#include "ConnectionString.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char* kPoll = "SELECT ID, CodeDate, CodeTime, CodeName, CodeLocation, CodeMessage, Comments From alerts Where "
                    "Date(CodeDate) = CURRENT_DATE AND (TIME_TO_SEC(TIME(NOW())) - TIME_TO_SEC(CodeTime)) < 180 AND "
                    "(TIME_TO_SEC(TIME(NOW())) - TIME_TO_SEC(CodeTime)) > 0";

// The same statement through plain QMYSQL: connect, query, read every column, close.
bool rawPoll(quint64 serial) {
    const QString name = QStringLiteral("raw-%1").arg(serial);
    bool ok = false;
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
            if (q.exec(QLatin1String(kPoll))) {
                while (q.next()) {
                    for (int i = 0; i < 7; ++i)
                        (void)q.value(i);
                }
                ok = true;
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// Stand-in for the product poll until the tray client's poll can be called headless.
bool productPoll(quint64) {
    try {
        hv::Connection c(hv::fncConnectionString(QStringLiteral("127.0.0.1")));
        const auto rows = c.select(QLatin1String(kPoll));
        QString text;
        for (const auto& r : rows)
            text += hv::textOf(r, QStringLiteral("CodeName"));
        return true;
    } catch (const hv::Failure&) {
        return false;
    }
}

double cpuSecondsOf(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray s = f.readAll();
    const QList<QByteArray> parts = s.mid(s.lastIndexOf(')') + 2).split(' ');
    // utime and stime are the 14th and 15th fields of the line, 12th and 13th after the name.
    if (parts.size() < 13)
        return 0;
    return (parts[11].toDouble() + parts[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    auto arg = [&](const QString& key, const QString& def) {
        const int i = a.indexOf(key);
        return i >= 0 && i + 1 < a.size() ? a[i + 1] : def;
    };
    const QString mode = arg("--mode", "raw");
    const int threads = arg("--threads", "100").toInt();
    const double seconds = arg("--seconds", "5").toDouble();
    const qint64 serverPid = arg("--server-pid", "0").toLongLong();
    std::function<bool(quint64)> poll = mode == "product" ? productPoll : rawPoll;

    std::atomic<bool> go{false}, stop{false};
    std::atomic<quint64> serial{0};
    std::vector<std::vector<double>> latencies(threads);
    std::vector<quint64> failures(threads, 0);
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            auto& lat = latencies[t];
            lat.reserve(100000);
            while (!go)
                std::this_thread::yield();
            QElapsedTimer timer;
            while (!stop) {
                timer.start();
                const bool ok = poll(++serial);
                lat.push_back(timer.nsecsElapsed() / 1e6);
                if (!ok)
                    ++failures[t];
            }
        });
    }
    const double cpu0 = cpuSecondsOf(serverPid);
    QElapsedTimer wall;
    wall.start();
    go = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(qint64(seconds * 1000)));
    stop = true;
    for (auto& th : pool)
        th.join();
    const double elapsed = wall.nsecsElapsed() / 1e9;
    const double cpu = cpuSecondsOf(serverPid) - cpu0;

    std::vector<double> all;
    quint64 failed = 0;
    for (int t = 0; t < threads; ++t) {
        all.insert(all.end(), latencies[t].begin(), latencies[t].end());
        failed += failures[t];
    }
    std::sort(all.begin(), all.end());
    auto pct = [&](double p) { return all.empty() ? 0.0 : all[std::min(all.size() - 1, size_t(p * all.size()))]; };
    std::printf("mode=%s threads=%d polls=%zu failed=%llu seconds=%.2f polls_per_s=%.0f p50_ms=%.2f p99_ms=%.2f "
                "max_ms=%.2f server_cpu_pct=%.0f\n",
                qPrintable(mode), threads, all.size(), (unsigned long long)failed, elapsed, all.size() / elapsed,
                pct(0.5), pct(0.99), all.empty() ? 0.0 : all.back(), 100.0 * cpu / elapsed);
    return failed == all.size() ? 1 : 0;
}
