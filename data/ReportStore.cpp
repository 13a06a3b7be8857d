#include "ReportStore.h"

#include "AlertPresentations.h"
#include "Connection.h"
#include "DatabaseErrors.h"
#include "StatementBounds.h"

namespace hv {

ReportStore::Query ReportStore::allAlerts() {
    return {QStringLiteral("Select * From AlertLog ORDER By CodeDate DESC, CodeTime DESC"), {}};
}

ReportStore::Query ReportStore::alertSearch(const QString& search, const QDate& from, const QDate& to) {
    // The dates travel as DATE values.
    return {QStringLiteral("Select * From AlertLog WHERE CodeName LIKE ? ESCAPE '!' AND CodeDate Between ? AND ?"),
            {likePrefix(search), from, to}};
}

ReportStore::Query ReportStore::users() {
    return {QStringLiteral("Select * From users ORDER By UserName"), {}};
}

ReportStore::Query ReportStore::codes() {
    return {QStringLiteral("Select * From codes ORDER By CodeName"), {}};
}

ReportStore::Query ReportStore::locations() {
    return {QStringLiteral("Select * From locations ORDER By CodeLocation"), {}};
}

ReportStore::Query ReportStore::properties() {
    return {QStringLiteral("Select * From properties"), {}};
}

QString ReportStore::likePrefix(const QString& search) {
    QString pattern;
    pattern.reserve(search.size() + 2);
    for (const QChar c : search) {
        if (c == u'!' || c == u'%' || c == u'_') pattern += u'!';
        pattern += c;
    }
    return pattern + u'%';
}

QHash<qint64, ReportStore::Cancellation> ReportStore::readCancellations() {
    QHash<qint64, Cancellation> out;
    try {
        m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
            out.clear();
            connection.forEach(
                QStringLiteral("SELECT LogID, CancelledBy, CancelledAt FROM cancellations WHERE LogID IS NOT "
                               "NULL ORDER BY CancelledAt"),
                {}, [&](const QSqlRecord& r) {
                    out.insert(r.value(0).toLongLong(), {textOf(r.value(1)), r.value(2).toDateTime()});
                });
        });
    } catch (const Failure& f) {
        // A database older than cancelling, or an account not allowed to read the cancellations,
        // still gets its report, as it was before.
        if (!dberror::noSuchTable(f) && f.number() != code::PermissionDenied) throw;
    }
    return out;
}

QHash<qint64, QString> ReportStore::readAudiences() {
    QHash<qint64, QString> out;
    try {
        m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
            out.clear();
            connection.forEach(QStringLiteral("SELECT LogID, AudienceName FROM alertaudiences WHERE LogID IS NOT NULL"),
                               {},
                               [&](const QSqlRecord& r) { out.insert(r.value(0).toLongLong(), textOf(r.value(1))); });
        });
    } catch (const Failure& f) {
        // Also a table of audiences made before it named the log rows.
        if (!dberror::notHere(f)) throw;
    }
    return out;
}

void ReportStore::readRows(const Query& query, const std::function<void(const QSqlRecord&)>& row) {
    // The lines already written cannot be taken back: another node takes over only before the
    // first row.
    m_servers.stream(consoleConnectionOptions(m_access), [&](Connection& connection, bool& handedOn) {
        connection.forEach(query.statement, query.binds, [&](const QSqlRecord& r) {
            handedOn = true;
            row(r);
        });
    });
}

QHash<qint64, QString> ReportStore::readAnswers() {
    QHash<qint64, QString> out;
    try {
        m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
            out.clear();
            QHash<qint64, QHash<QString, qint64>> counts;
            connection.forEach(
                QStringLiteral("SELECT p.LogID, a.Answer, COUNT(*) FROM alertpresentations p JOIN answers "
                               "a ON a.CodeDate = p.CodeDate AND a.CodeTime = p.CodeTime AND a.AlertID = "
                               "p.AlertID WHERE p.LogID IS NOT NULL GROUP BY p.LogID, a.Answer"),
                {}, [&](const QSqlRecord& r) {
                    counts[r.value(0).toLongLong()][textOf(r.value(1))] = r.value(2).toLongLong();
                });
            connection.forEach(
                QStringLiteral("SELECT LogID, %1 FROM alertpresentations WHERE LogID IS NOT NULL AND (Answer1 IS NOT "
                               "NULL OR Answer2 IS NOT NULL OR Answer3 IS NOT NULL OR Answer4 IS NOT NULL)")
                    .arg(AlertPresentations::columns()),
                {}, [&](const QSqlRecord& r) {
                    const qint64 logId = r.value(0).toLongLong();
                    QStringList kinds;
                    for (const QString& answer : AlertPresentations::fromRow(r, 1).answers)
                        kinds << QStringLiteral("%1 %2").arg(answer).arg(counts.value(logId).value(answer));
                    out.insert(logId, kinds.join(QStringLiteral(", ")));
                });
        });
    } catch (const Failure& f) {
        if (!dberror::notHere(f)) throw;
    }
    return out;
}

} // namespace hv
