#include "CancelStore.h"

#include "AlertStore.h"
#include "Connection.h"
#include "DatabaseErrors.h"
#include "StatementBounds.h"

#include <QSqlRecord>

namespace hv {

namespace {

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

// The alerts row, while it is inside its window by the server's clock.
QList<QSqlRecord> liveRow(Connection& connection, qint64 id, const QDate& date, const QTime& time) {
    return connection.select(QStringLiteral("SELECT * FROM alerts WHERE ID = ? AND CodeDate = ? AND CodeTime = ? AND "
                                            "TIMESTAMPDIFF(SECOND, TIMESTAMP(CodeDate, CodeTime), NOW()) < %1")
                                 .arg(site::kAlertWindowSeconds),
                             {id, day(date), minute(time)});
}

// How many rows of `table` before the one with this ID hold the same values as `row`.
qint64 alike(Connection& connection, const char* table, const QSqlRecord& row, qint64 id) {
    return connection
        .select(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE ID < ? AND ").arg(QLatin1String(table)) +
                    QLatin1String(kSameValues),
                QVariantList{id} + sameValues(row))
        .value(0)
        .value(0)
        .toLongLong();
}

// The ID of the row of `table` that holds the same values as `row`, after `before` such rows.
QList<QSqlRecord> nthAlike(Connection& connection, const char* table, const QSqlRecord& row, qint64 before) {
    return connection.select(QStringLiteral("SELECT ID FROM %1 WHERE ").arg(QLatin1String(table)) +
                                 QLatin1String(kSameValues) + QStringLiteral(" ORDER BY ID LIMIT 1 OFFSET ?"),
                             sameValues(row) + QVariantList{before});
}

CancelStore::Outcome record(Connection& connection, qint64 alertId, const QDate& date, const QTime& time,
                            const QVariant& logId, const QString& user, const QString& hostName) {
    try {
        connection.execute(QStringLiteral("INSERT INTO cancellations (CodeDate, CodeTime, AlertID, LogID, CancelledBy, "
                                          "HostName, CancelledAt) VALUES (?, ?, ?, ?, ?, ?, NOW())"),
                           {day(date), minute(time), alertId, logId, user, hostName});
    } catch (const Failure& f) {
        if (f.nativeCode() == dberror::kDuplicateKey || f.number() == dberror::kDuplicateKey)
            return CancelStore::Outcome::AlreadyCancelled;
        throw;
    }
    return CancelStore::Outcome::Cancelled;
}

} // namespace

QList<CancelStore::LiveAlert> CancelStore::readCancellable() {
    QList<LiveAlert> out;
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        out.clear();
        connection.forEach(
            QStringLiteral("SELECT ID, CodeDate, CodeTime, CodeName, CodeLocation, CodeMessage FROM alerts a WHERE "
                           "CodeDate >= DATE(NOW() - INTERVAL %1 SECOND) AND CodeTime IS NOT NULL AND "
                           "TIMESTAMPDIFF(SECOND, TIMESTAMP(CodeDate, CodeTime), NOW()) < %1 AND NOT EXISTS "
                           "(SELECT 1 FROM cancellations c WHERE c.AlertID = a.ID AND c.CodeDate = a.CodeDate AND "
                           "c.CodeTime = a.CodeTime) ORDER BY ID LIMIT %2")
                .arg(site::kAlertWindowSeconds)
                .arg(kMostListed),
            {}, [&](const QSqlRecord& r) {
                out.append({r.value(0).toLongLong(), r.value(1).toDate(), r.value(2).toTime(), textOf(r.value(3)),
                            textOf(r.value(4)), textOf(r.value(5))});
            });
    });
    return out;
}

int CancelStore::workstationsBlindToCancellations() {
    int blind = 0;
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        try {
            // Reports of the last check-in period and the misses that make a workstation silent.
            blind = connection
                        .select(QStringLiteral("SELECT COUNT(DISTINCT HostName, DesktopUser) FROM workstationreports "
                                               "WHERE FIND_IN_SET('cancellations', REPLACE(Unreadable, ', ', ',')) "
                                               "AND ReportedAt > NOW() - INTERVAL %1 SECOND")
                                    .arg(site::kCheckInSeconds + site::kSilentAfterMissedPolls * site::kPollSeconds))
                        .value(0)
                        .value(0)
                        .toInt();
        } catch (const Failure& f) {
            // A database or an account without the reports: nothing known, nothing said.
            if (!dberror::noSuchTable(f) && f.number() != code::PermissionDenied) throw;
        }
    });
    return blind;
}

CancelStore::Outcome CancelStore::cancel(const LiveAlert& alert, const QString& user, const QString& hostName) {
    // Safe to run again on the next node: the cancellations key takes an alert once, so a cancel
    // that did land on a lost node comes back as already cancelled, never as a second row.
    Outcome result = Outcome::NoLongerShown;
    m_servers.run(consoleConnectionOptions(m_access),
                  [&](Connection& connection) { result = cancelOn(connection, alert, user, hostName); });
    return result;
}

CancelStore::Outcome CancelStore::cancelOn(Connection& connection, const LiveAlert& alert, const QString& user,
                                           const QString& hostName) {
    connection.begin();
    const QList<QSqlRecord> live = liveRow(connection, alert.id, alert.codeDate, alert.codeTime);
    if (live.isEmpty()) return Outcome::NoLongerShown;
    // Which of the log's rows is this alert's, so that the reports can say it was cancelled.
    const QList<QSqlRecord> log =
        nthAlike(connection, "AlertLog", live.front(), alike(connection, "alerts", live.front(), alert.id));
    const QVariant logId = log.isEmpty() ? QVariant(QMetaType(QMetaType::Int)) : log.front().value(0);
    const Outcome outcome = record(connection, alert.id, alert.codeDate, alert.codeTime, logId, user, hostName);
    if (outcome == Outcome::Cancelled) connection.commit();
    return outcome;
}

CancelStore::Outcome CancelStore::cancelLogged(qint64 logId, const QDate& codeDate, const QTime& codeTime,
                                               const QString& user, const QString& hostName, qint64* alertId) {
    Outcome result = Outcome::NotLogged;
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        result = cancelLoggedOn(connection, logId, codeDate, codeTime, user, hostName, alertId);
    });
    return result;
}

CancelStore::Outcome CancelStore::cancelLoggedOn(Connection& connection, qint64 logId, const QDate& codeDate,
                                                 const QTime& codeTime, const QString& user, const QString& hostName,
                                                 qint64* alertId) {
    connection.begin();
    const Outcome outcome = cancelLoggedWithin(connection, logId, codeDate, codeTime, user, hostName, alertId);
    if (outcome == Outcome::Cancelled) connection.commit();
    return outcome;
}

CancelStore::Outcome CancelStore::cancelWithin(Connection& connection, qint64 alertId, const QDate& codeDate,
                                               const QTime& codeTime, const QVariant& logId, const QString& user,
                                               const QString& hostName) {
    if (liveRow(connection, alertId, codeDate, codeTime).isEmpty()) return Outcome::NoLongerShown;
    return record(connection, alertId, codeDate, codeTime, logId, user, hostName);
}

CancelStore::Outcome CancelStore::cancelLoggedWithin(Connection& connection, qint64 logId, const QDate& codeDate,
                                                     const QTime& codeTime, const QString& user,
                                                     const QString& hostName, qint64* alertId) {
    const QList<QSqlRecord> logged =
        connection.select(QStringLiteral("SELECT * FROM AlertLog WHERE ID = ? AND CodeDate = ? AND CodeTime = ?"),
                          {logId, day(codeDate), minute(codeTime)});
    if (logged.isEmpty()) return Outcome::NotLogged;
    const QList<QSqlRecord> live =
        nthAlike(connection, "alerts", logged.front(), alike(connection, "AlertLog", logged.front(), logId));
    if (live.isEmpty()) return Outcome::NoLongerShown;
    const qint64 id = live.front().value(0).toLongLong();
    const Outcome outcome = cancelWithin(connection, id, codeDate, codeTime, logId, user, hostName);
    if (alertId && outcome == Outcome::Cancelled) *alertId = id;
    return outcome;
}

} // namespace hv
