#include "stores/CancelStore.h"

#include "Connection.h"
#include "stores/AlertStore.h"
#include "stores/ConsoleBounds.h"

#include <QSqlRecord>

namespace hv {

namespace {

constexpr int kDuplicateKey = 1062;

// The rows identical to the alert in every column but ID. Two alerts of the same code, place and
// minute are written as identical pairs of rows; the n-th of the live ones is the n-th of the log's.
const char* const kSameValues =
    "CodeDate <=> ? AND CodeTime <=> ? AND BINARY CodeName <=> BINARY ? AND BINARY CodeLocation <=> BINARY ? AND "
    "BINARY CodeMessage <=> BINARY ? AND BINARY Comments <=> BINARY ?";

QVariantList sameValues(const QSqlRecord& row) {
    QVariantList binds;
    for (const char* column : {"CodeDate", "CodeTime", "CodeName", "CodeLocation", "CodeMessage", "Comments"})
        binds << row.value(QLatin1String(column));
    return binds;
}

QString day(const QDate& d) {
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}
QString minute(const QTime& t) {
    return t.toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

QList<CancelStore::LiveAlert> CancelStore::readCancellable() {
    Connection connection(m_connectionString, consoleConnectionOptions());
    QList<LiveAlert> out;
    connection.forEach(
        QStringLiteral("SELECT ID, CodeDate, CodeTime, CodeName, CodeLocation, CodeMessage FROM alerts a WHERE "
                       "CodeDate >= DATE(NOW() - INTERVAL %1 SECOND) AND CodeTime IS NOT NULL AND "
                       "TIMESTAMPDIFF(SECOND, TIMESTAMP(CodeDate, CodeTime), NOW()) < %1 AND NOT EXISTS "
                       "(SELECT 1 FROM cancellations c WHERE c.AlertID = a.ID AND c.CodeDate = a.CodeDate AND "
                       "c.CodeTime = a.CodeTime) ORDER BY ID LIMIT %2")
            .arg(AlertStore::kAlertWindowSeconds)
            .arg(kMostListed),
        {}, [&](const QSqlRecord& r) {
            out.append({r.value(0).toLongLong(), r.value(1).toDate(), r.value(2).toTime(), textOf(r.value(3)),
                        textOf(r.value(4)), textOf(r.value(5))});
        });
    return out;
}

CancelStore::Outcome CancelStore::cancel(const LiveAlert& alert, const QString& user, const QString& hostName) {
    Connection connection(m_connectionString, consoleConnectionOptions());
    connection.begin();
    const QVariantList key{alert.id, day(alert.codeDate), minute(alert.codeTime)};
    const QList<QSqlRecord> live =
        connection.select(QStringLiteral("SELECT * FROM alerts WHERE ID = ? AND CodeDate = ? AND CodeTime = ? AND "
                                         "TIMESTAMPDIFF(SECOND, TIMESTAMP(CodeDate, CodeTime), NOW()) < %1")
                              .arg(AlertStore::kAlertWindowSeconds),
                          key);
    if (live.isEmpty()) return Outcome::NoLongerShown;

    // Which of the log's rows is this alert's, so that the reports can say it was cancelled.
    const QVariantList same = sameValues(live.front());
    const qint64 rank =
        connection
            .select(QStringLiteral("SELECT COUNT(*) FROM alerts WHERE ID < ? AND ") + QLatin1String(kSameValues),
                    QVariantList{alert.id} + same)
            .value(0)
            .value(0)
            .toLongLong();
    const QList<QSqlRecord> log =
        connection.select(QStringLiteral("SELECT ID FROM AlertLog WHERE ") + QLatin1String(kSameValues) +
                              QStringLiteral(" ORDER BY ID LIMIT 1 OFFSET ?"),
                          same + QVariantList{rank});
    const QVariant logId = log.isEmpty() ? QVariant(QMetaType(QMetaType::Int)) : log.front().value(0);

    try {
        connection.execute(QStringLiteral("INSERT INTO cancellations (CodeDate, CodeTime, AlertID, LogID, CancelledBy, "
                                          "HostName, CancelledAt) VALUES (?, ?, ?, ?, ?, ?, NOW())"),
                           {day(alert.codeDate), minute(alert.codeTime), alert.id, logId, user, hostName});
    } catch (const Failure& f) {
        if (f.nativeCode() == kDuplicateKey || f.number() == kDuplicateKey) return Outcome::AlreadyCancelled;
        throw;
    }
    connection.commit();
    return Outcome::Cancelled;
}

} // namespace hv
