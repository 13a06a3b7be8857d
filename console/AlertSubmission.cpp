#include "AlertSubmission.h"

#include "Connection.h"
#include "Ports.h"

#include <QSqlRecord>

namespace {

// Trims blanks only, as the operators' texts have always been trimmed.
QString trimBlanks(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s[b] == u' ')
        ++b;
    while (e > b && s[e - 1] == u' ')
        --e;
    return s.mid(b, e - b);
}

// An alert stays on the workstations for this long after its minute.
constexpr int kAlertWindowSeconds = 180;

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

void AlertSubmission::fncDeleteSevenDayOldRecords(const QDateTime& now) {
    hv::Connection connection(m_connectionString);
    // Housekeeping must not keep an operator waiting behind another console's lock: give up
    // quickly, the next submission purges again.
    connection.execute(QStringLiteral("SET SESSION innodb_lock_wait_timeout = 2"));
    // Rows of yesterday that are still inside the alert window just after midnight stay, or the
    // workstations would lose an alert sent a moment before the day changed.
    const QDate yesterday = now.date().addDays(-1);
    const QDateTime stillShown = now.addSecs(-kAlertWindowSeconds);
    connection.execute(
        QStringLiteral("DELETE FROM alerts WHERE CodeDate <= CAST(? AS DATE) AND "
                       "(CodeTime IS NULL OR TIMESTAMP(CodeDate, CodeTime) <= CAST(? AS DATETIME))"),
        {yesterday.toString(QStringLiteral("yyyy-MM-dd")), stillShown.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))});
}

QString AlertSubmission::fncGetCodeComments(hv::Connection& connection, const QString& codeName) {
    // The catalogue compares names without regard to case; of several matches the one spelled
    // exactly as chosen wins. A code deleted since the list was filled has no comments.
    const QList<QSqlRecord> rows =
        connection.select(QStringLiteral("Select * From codes WHERE CodeName = ?"), {codeName});
    const QSqlRecord* chosen = rows.isEmpty() ? nullptr : &rows.front();
    for (const QSqlRecord& row : rows) {
        if (hv::textOf(row, QStringLiteral("CodeName")) == codeName) {
            chosen = &row;
            break;
        }
    }
    return chosen ? trimBlanks(hv::textOf(*chosen, QStringLiteral("Comments"))) : QString();
}

AlertSubmission::Saved AlertSubmission::save(const Alert& alert, const hv::Clock& clock) {
    hv::Connection connection(m_connectionString);
    connection.begin();

    Saved saved;
    // One reading dates both columns of both rows, so that the two rows agree even across a
    // minute or midnight; the server's clock is read right after it for the skew check.
    saved.consoleNow = clock.now();
    saved.serverNow = connection.select(QStringLiteral("SELECT NOW()")).value(0).value(0).toDateTime();
    saved.comments = fncGetCodeComments(connection, alert.codeName);

    const QString date = saved.consoleNow.date().toString(QStringLiteral("yyyy-MM-dd"));
    const QTime t = saved.consoleNow.time();
    const QString time = QTime(t.hour(), t.minute()).toString(QStringLiteral("HH:mm:ss"));

    for (const RowStatements& row : kRowStatements) {
        if (alert.codeMessage) {
            connection.execute(QLatin1String(row.withMessage), {text(alert.codeName), text(*alert.codeMessage), date,
                                                                time, text(alert.codeLocation), text(saved.comments)});
        } else {
            connection.execute(QLatin1String(row.withoutMessage),
                               {text(alert.codeName), date, time, text(alert.codeLocation), text(saved.comments)});
        }
    }
    // Until here nothing is visible to the workstations: the alert and its history land together.
    connection.commit();
    return saved;
}
