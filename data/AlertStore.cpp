#include "AlertStore.h"

#include "AlertAudiences.h"
#include "AlertPresentations.h"
#include "CheckedWrite.h"
#include "Connection.h"
#include "Ports.h"
#include "SiteFacts.h"
#include "StatementBounds.h"
#include "Strings.h"

#include "DatabaseErrors.h"

#include <QSqlRecord>
#include <QSysInfo>
#include <QUuid>
#include <algorithm>

namespace hv {

namespace {

// The alert goes into the live table and the log alike. Without a custom message the column is
// left out and keeps the table's default.
struct RowStatements {
    const char* withMessage;
    const char* withoutMessage;
};
constexpr RowStatements kRowStatements[] = {
    {"INSERT INTO alerts (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation, Comments) "
     "VALUES (?, ?, ?, ?, ?, ?)",
     "INSERT INTO alerts (CodeName, CodeDate, CodeTime, CodeLocation, Comments) VALUES (?, ?, ?, ?, ?)"},
    {"INSERT INTO AlertLog (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation, Comments) "
     "VALUES (?, ?, ?, ?, ?, ?)",
     "INSERT INTO AlertLog (CodeName, CodeDate, CodeTime, CodeLocation, Comments) VALUES (?, ?, ?, ?, ?)"},
};

// A null QString would be bound as SQL NULL; an empty text is stored as the empty text.
QString text(const QString& s) {
    return s.isNull() ? QStringLiteral("") : s;
}

} // namespace

void AlertStore::readChoices(Choices& out) {
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        out.codes.clear();
        out.locations.clear();
        for (const QSqlRecord& row : connection.select(QStringLiteral("Select CodeName From codes ORDER BY CodeName")))
            out.codes << textOf(row, QStringLiteral("CodeName"));
        for (const QSqlRecord& row :
             connection.select(QStringLiteral("Select CodeLocation From locations ORDER BY CodeLocation")))
            out.locations << textOf(row, QStringLiteral("CodeLocation"));
    });
}

qint64 AlertStore::ClockRefused::serverAheadSeconds() const {
    // Both clocks as the wall-clock times that the workstations compare.
    return QDateTime(consoleNow.date(), consoleNow.time(), Qt::UTC)
        .secsTo(QDateTime(serverNow.date(), serverNow.time(), Qt::UTC));
}

void AlertStore::fncDeleteSevenDayOldRecords(const QDateTime& now) {
    ConnectionOptions options = consoleConnectionOptions(m_access);
    // Housekeeping must not keep an operator waiting behind another console's lock: give up
    // quickly, the next submission purges again.
    options.lockWaitSeconds = site::kPurgeLockWaitSeconds;
    // Deleting what is already gone does nothing: another node may simply do it again.
    m_servers.run(options, [&](Connection& connection) {
        // The clocks first: a computer whose clock is a day ahead would otherwise date its purge by
        // it and take every live alert of the server's day.
        const ClockRefused clocks{now,
                                  connection.select(QStringLiteral("SELECT NOW()")).value(0).value(0).toDateTime()};
        if (now.isValid() && clocks.serverNow.isValid() &&
            qAbs(clocks.serverAheadSeconds()) > site::kClockRefusalSeconds)
            throw clocks;
        // The earlier days by the server's clock, the one the workstations judge an alert by. Rows of
        // yesterday that are still inside the alert window just after midnight stay, or the
        // workstations would lose an alert sent a moment before the day changed.
        connection.execute(purgeStatement());
    });
}

QString AlertStore::purgeStatement() {
    return QStringLiteral("DELETE FROM alerts WHERE CodeDate <= DATE(NOW()) - INTERVAL 1 DAY AND (CodeTime IS NULL OR "
                          "TIMESTAMP(CodeDate, CodeTime) <= NOW() - INTERVAL %1 SECOND)")
        .arg(site::kAlertWindowSeconds);
}

QString AlertStore::fncGetCodeComments(Connection& connection, const QString& codeName) {
    // The catalogue compares names without regard to case; of several matches the one spelled
    // exactly as chosen wins. A code deleted since the list was filled has no comments.
    const QList<QSqlRecord> rows =
        connection.select(QStringLiteral("Select * From codes WHERE CodeName = ?"), {codeName});
    const QSqlRecord* chosen = rows.isEmpty() ? nullptr : &rows.front();
    for (const QSqlRecord& row : rows) {
        if (textOf(row, QStringLiteral("CodeName")) == codeName) {
            chosen = &row;
            break;
        }
    }
    return chosen ? trimmedOf(textOf(*chosen, QStringLiteral("Comments"))) : QString();
}

AlertStore::Saved AlertStore::save(const Alert& alert, const Clock& clock, const QString& token) {
    return save(QList<Alert>{alert}, clock, {}, token);
}

QString AlertStore::newToken() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

AlertStore::Saved AlertStore::save(const QList<Alert>& alerts, const Clock& clock, const QList<AlertRows*>& further,
                                   const QString& token) {
    Saved saved;
    QString date, time;
    // A database from before tokens stores without one.
    bool withToken = !token.isEmpty();
    CheckedWrite rows;
    rows.write = [&](Connection& connection) {
        // One reading dates both columns of both rows, so that the two rows agree even across a
        // minute or midnight; the server's clock is read right after it for the skew check.
        saved.consoleNow = clock.now();
        saved.serverNow = connection.select(QStringLiteral("SELECT NOW()")).value(0).value(0).toDateTime();
        saved.alerts.clear();
        saved.already = false;
        AlertAudiences audiences;
        AlertPresentations presentations;
        if (withToken) {
            try {
                // Stored already by a try whose outcome its sender never learned: the same alerts,
                // nothing written again.
                for (const QSqlRecord& r : connection.select(
                         QStringLiteral(
                             "SELECT s.AlertID, s.LogID, l.CodeDate, l.CodeTime, l.CodeName, l.CodeLocation, "
                             "l.CodeMessage, l.Comments FROM submissions s LEFT JOIN AlertLog l ON l.ID = "
                             "s.LogID WHERE s.Token = ? ORDER BY s.AlertNo"),
                         {token})) {
                    SavedAlert a;
                    a.alertId = r.value(0).toLongLong();
                    a.logId = r.value(1).toLongLong();
                    a.codeDate = r.value(2).toDate();
                    a.codeTime = r.value(3).toTime();
                    a.codeName = textOf(r.value(4));
                    a.codeLocation = textOf(r.value(5));
                    a.codeMessage = textOf(r.value(6));
                    a.comments = textOf(r.value(7));
                    saved.alerts.append(a);
                }
                for (SavedAlert& a : saved.alerts) {
                    a.audience = audiences.read(connection, a);
                    a.presentation = presentations.read(connection, a);
                }
            } catch (const Failure& f) {
                if (!dberror::noSuchTable(f)) throw;
                withToken = false;
            }
            if (!saved.alerts.isEmpty()) {
                saved.already = true;
                saved.comments = saved.alerts.front().comments;
                return;
            }
        }

        date = saved.consoleNow.date().toString(QStringLiteral("yyyy-MM-dd"));
        const QTime t = saved.consoleNow.time();
        time = QTime(t.hour(), t.minute()).toString(QStringLiteral("HH:mm:ss"));

        for (const Alert& alert : alerts) {
            SavedAlert row;
            row.codeDate = saved.consoleNow.date();
            row.codeTime = QTime(t.hour(), t.minute());
            row.codeName = alert.codeName;
            row.codeLocation = alert.codeLocation;
            row.codeMessage = alert.codeMessage ? text(*alert.codeMessage) : QString();
            row.comments = fncGetCodeComments(connection, alert.codeName);
            qint64* ids[] = {&row.alertId, &row.logId};
            for (int i = 0; i < 2; ++i) {
                const RowStatements& statement = kRowStatements[i];
                if (alert.codeMessage) {
                    connection.execute(QLatin1String(statement.withMessage),
                                       {text(alert.codeName), text(*alert.codeMessage), date, time,
                                        text(alert.codeLocation), text(row.comments)});
                } else {
                    connection.execute(
                        QLatin1String(statement.withoutMessage),
                        {text(alert.codeName), date, time, text(alert.codeLocation), text(row.comments)});
                }
                *ids[i] = connection.select(QStringLiteral("SELECT LAST_INSERT_ID()")).value(0).value(0).toLongLong();
            }
            row.audience = audiences.resolve(connection, alert.codeName, alert.codeLocation);
            audiences.write(connection, row);
            row.presentation = presentations.resolve(connection, alert.codeName);
            if (!row.presentation) row.presentation = alert.presentationIfNone;
            presentations.write(connection, row);
            saved.alerts.append(row);
        }
        saved.comments = saved.alerts.isEmpty() ? QString() : saved.alerts.front().comments;
        if (withToken) {
            for (qsizetype n = 0; n < saved.alerts.size(); ++n)
                connection.execute(
                    QStringLiteral("INSERT INTO submissions (Token, AlertNo, AlertID, LogID, SubmittedAt, "
                                   "HostName) VALUES (?, ?, ?, ?, NOW(), ?)"),
                    {token, int(n), saved.alerts[n].alertId, saved.alerts[n].logId,
                     QSysInfo::machineHostName().left(255)});
        }
        for (AlertRows* extra : further)
            extra->write(connection, saved.alerts);
        // Until the commit nothing is visible to the workstations: the alert and its history land
        // together.
    };
    // The rows by the numbers the database gave them, with what they were written with: numbers
    // alone could be given again by another node to another alert.
    rows.landed = [&](Connection& connection) {
        if (saved.already) return true;
        if (withToken)
            return connection.select(QStringLiteral("SELECT COUNT(*) FROM submissions WHERE Token = ?"), {token})
                           .value(0)
                           .value(0)
                           .toLongLong() == saved.alerts.size() &&
                   std::all_of(further.begin(), further.end(),
                               [&](AlertRows* extra) { return extra->landed(connection, saved.alerts); });
        for (const SavedAlert& alert : std::as_const(saved.alerts)) {
            for (const auto& [table, id] : {std::pair{"alerts", alert.alertId}, std::pair{"AlertLog", alert.logId}}) {
                const QList<QSqlRecord> found = connection.select(
                    QStringLiteral("SELECT COUNT(*) FROM %1 WHERE ID = ? AND BINARY CodeName = BINARY ? AND "
                                   "CodeDate = CAST(? AS DATE) AND CodeTime = CAST(? AS TIME)")
                        .arg(QLatin1String(table)),
                    {id, text(alert.codeName), date, time});
                if (found.value(0).value(0).toLongLong() == 0) return false;
            }
        }
        for (AlertRows* extra : further)
            if (!extra->landed(connection, saved.alerts)) return false;
        return true;
    };
    rows.run(m_servers, consoleConnectionOptions(m_access));
    return saved;
}

} // namespace hv
