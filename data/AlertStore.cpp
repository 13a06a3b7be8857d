#include "AlertStore.h"

#include "CheckedWrite.h"
#include "Connection.h"
#include "Ports.h"
#include "SiteFacts.h"
#include "StatementBounds.h"
#include "Strings.h"

#include <QSqlRecord>

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

AlertStore::Saved AlertStore::save(const Alert& alert, const Clock& clock) {
    return save(QList<Alert>{alert}, clock, {});
}

AlertStore::Saved AlertStore::save(const QList<Alert>& alerts, const Clock& clock, const QList<AlertRows*>& further) {
    Saved saved;
    QString date, time;
    CheckedWrite rows;
    rows.write = [&](Connection& connection) {
        // One reading dates both columns of both rows, so that the two rows agree even across a
        // minute or midnight; the server's clock is read right after it for the skew check.
        saved.consoleNow = clock.now();
        saved.serverNow = connection.select(QStringLiteral("SELECT NOW()")).value(0).value(0).toDateTime();
        saved.alerts.clear();

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
            saved.alerts.append(row);
        }
        saved.comments = saved.alerts.isEmpty() ? QString() : saved.alerts.front().comments;
        for (AlertRows* extra : further)
            extra->write(connection, saved.alerts);
        // Until the commit nothing is visible to the workstations: the alert and its history land
        // together.
    };
    // The rows by the numbers the database gave them, with what they were written with: numbers
    // alone could be given again by another node to another alert.
    rows.landed = [&](Connection& connection) {
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
