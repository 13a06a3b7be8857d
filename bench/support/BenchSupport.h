#pragma once
// Small helpers shared by the measurements: percentiles, a process's CPU time, argument lookup.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <unistd.h>
#include <vector>

namespace bench {

// The p-quantile of sorted values (nearest rank); 0 when there are none.
inline double quantile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    const size_t i = std::min(sorted.size() - 1, size_t(p * double(sorted.size())));
    return sorted[i];
}

// User plus system CPU seconds a process has used so far, from /proc/PID/stat.
inline double cpuSecondsOf(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray s = f.readAll();
    const QList<QByteArray> parts = s.mid(s.lastIndexOf(')') + 2).split(' ');
    // utime and stime are the 14th and 15th fields of the line, 12th and 13th after the name.
    if (parts.size() < 13) return 0;
    return (parts[11].toDouble() + parts[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

inline QString argument(const QStringList& args, const QString& key, const QString& fallback) {
    // A later one wins, as on most command lines.
    const qsizetype i = args.lastIndexOf(key);
    return i >= 0 && i + 1 < args.size() ? args[i + 1] : fallback;
}

} // namespace bench
