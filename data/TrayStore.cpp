#include "TrayStore.h"

#include "Connection.h"
#include "DatabaseErrors.h"
#include "Handler.h"
#include "HostPattern.h"
#include "SiteFacts.h"
#include "StatementBounds.h"

#include <QSqlRecord>
#include <algorithm>
#include <set>

namespace hv {

namespace {

// The columns every form of the poll statement starts with. The date range lets the server read
// only the rows of the current day (and of yesterday in the first three minutes after midnight)
// through the (CodeDate, CodeTime) index; without it every poll of every workstation scans the days
// that the console has not purged yet.
QString pollStatementWith(const QString& extraColumns) {
    return QStringLiteral("SELECT ID, CodeDate, CodeTime, CodeName, CodeLocation, CodeMessage, Comments%2 From alerts "
                          "Where CodeDate BETWEEN DATE(NOW() - INTERVAL %1 SECOND) AND DATE(NOW()) AND "
                          "TIMESTAMPDIFF(SECOND, TIMESTAMP(CodeDate, CodeTime), NOW()) < %1 AND "
                          "TIMESTAMPDIFF(SECOND, TIMESTAMP(CodeDate, CodeTime), NOW()) > 0")
        .arg(site::kAlertWindowSeconds)
        .arg(extraColumns);
}

// One round trip: the cancellation of each row by its key, and the setting once per statement.
const char* const kNewerColumns =
    ", EXISTS (SELECT 1 FROM cancellations c WHERE c.CodeDate = alerts.CodeDate AND c.CodeTime = "
    "alerts.CodeTime AND c.AlertID = alerts.ID) AS Cancelled, (SELECT ReadAloud FROM traysettings WHERE ID = "
    "1) AS ReadAloud";

// A refused login or a server out of reach ends the poll (the tray client decides what that
// means for the program); any other failure only skips its step. A node lost under the statement
// ends it too, so that the poll can move to the next node.
Reaction pollReaction(const Failure& f) {
    if (dberror::nodeLost(f) || dberror::causeOf(f) == dberror::Cause::LoginRefused) return Reaction::EndHandler;
    return Reaction::NextStep;
}

// The newer statement names a table that this database or this account does not have.
bool refusedForTables(const Failure& f) {
    return dberror::noSuchTable(f) || f.number() == code::PermissionDenied;
}

// A column's position: where the poll statement puts it, else wherever the record has it.
int columnOf(const QSqlRecord& row, int expected, const QString& name) {
    return row.fieldName(expected) == name ? expected : row.indexOf(name);
}

QString textAt(const QSqlRecord& row, int index, const char* column) {
    if (index < 0) return textOf(row, QLatin1String(column)); // says which column is missing
    return textOf(row.value(index));
}

// Where the columns sit in a result; looked up once per poll, not once per value.
struct Columns {
    explicit Columns(const QSqlRecord& row)
        : id(columnOf(row, 0, QStringLiteral("ID"))), date(columnOf(row, 1, QStringLiteral("CodeDate"))),
          time(columnOf(row, 2, QStringLiteral("CodeTime"))), name(columnOf(row, 3, QStringLiteral("CodeName"))),
          location(columnOf(row, 4, QStringLiteral("CodeLocation"))),
          message(columnOf(row, 5, QStringLiteral("CodeMessage"))),
          comments(columnOf(row, 6, QStringLiteral("Comments"))),
          cancelled(columnOf(row, 7, QStringLiteral("Cancelled"))),
          readAloud(columnOf(row, 8, QStringLiteral("ReadAloud"))) {}
    int id, date, time, name, location, message, comments, cancelled, readAloud;
};

// The cancellations the server holds now, for the older statement. A database made before alerts
// could be cancelled, an account without the right to read them or a failure of this one
// statement leaves the alerts read as they are.
std::optional<std::set<AlertKey>> readCancelled(Connection& conn) {
    try {
        std::set<AlertKey> out;
        conn.forEach(TrayStore::bounded(TrayStore::cancelledStatement()), {}, [&](const QSqlRecord& row) {
            out.insert({row.value(0).toLongLong(), row.value(1).toDate(), row.value(2).toTime()});
        });
        return out;
    } catch (const Failure&) {
        return std::nullopt;
    }
}

// Off on any failure: a database from before the setting existed has no table for it, and a
// workstation then behaves as it always did.
bool readAloudSetting(Connection& conn) {
    try {
        const QList<QSqlRecord> rows = conn.select(TrayStore::bounded(TrayStore::readAloudStatement()));
        return !rows.isEmpty() && rows.front().value(0).toInt() != 0;
    } catch (const Failure&) {
        return false;
    }
}

// One run of a poll statement; `newer` when it carries the cancellations and the setting.
PollSnapshot readWith(Connection& conn, const QString& statement, bool newer) {
    PollSnapshot s;
    Handler h([&s](const Failure& f) {
        const Reaction reaction = pollReaction(f);
        if (reaction == Reaction::NextStep) s.skipped = f;
        return reaction;
    });
    h.run([&] {
        h.step([&] {
            std::optional<Columns> c;
            conn.forEach(TrayStore::bounded(statement), {}, [&](const QSqlRecord& row) {
                if (!c) c.emplace(row);
                PolledAlert& a = s.alerts.emplace_back();
                a.key = {row.value(c->id).toLongLong(), row.value(c->date).toDate(), row.value(c->time).toTime()};
                a.timeIsNull = row.value(c->time).isNull();
                if (newer) {
                    a.cancelled = row.value(c->cancelled).toInt() != 0;
                    s.readAloud = row.value(c->readAloud).toInt() != 0;
                }
                a.unreadable = true;
                h.step([&] {
                    a.codeName = textAt(row, c->name, "CodeName");
                    a.codeLocation = textAt(row, c->location, "CodeLocation");
                    a.comments = textAt(row, c->comments, "Comments");
                    a.codeMessage = textAt(row, c->message, "CodeMessage");
                    a.unreadable = false;
                });
            });
            s.statementRan = true;
            s.cancellationsRead = newer;
        });
    });
    if (const Failure* f = h.endedBy()) s.failure = *f;
    if (!s.statementRan) s.alerts.clear();
    // The statement has no order; the popup's blocks and the ring decision go by ID.
    std::stable_sort(s.alerts.begin(), s.alerts.end(),
                     [](const PolledAlert& a, const PolledAlert& b) { return a.key.id < b.key.id; });
    return s;
}

// Which of the newer statement's tables this account cannot read, each asked on its own.
QStringList unreadableTables(Connection& conn) {
    QStringList out;
    for (const char* table : {"cancellations", "traysettings"}) {
        try {
            conn.select(TrayStore::bounded(QStringLiteral("SELECT 1 FROM %1 LIMIT 0").arg(QLatin1String(table))));
        } catch (const Failure& f) {
            if (refusedForTables(f)) out << QLatin1String(table);
        }
    }
    return out;
}

} // namespace

QString TrayStore::audienceStatement() {
    // For each live alert that has patterns: whether the workstation's folded name matches one,
    // byte for byte (see HostPattern.h). An alert without patterns is for everyone and has no row.
    return QStringLiteral("SELECT AlertID, CodeDate, CodeTime, MAX(? LIKE LikePattern ESCAPE '!') FROM alertpatterns "
                          "Where CodeDate BETWEEN DATE(NOW() - INTERVAL %1 SECOND) AND DATE(NOW()) AND "
                          "TIMESTAMPDIFF(SECOND, TIMESTAMP(CodeDate, CodeTime), NOW()) < %1 AND "
                          "TIMESTAMPDIFF(SECOND, TIMESTAMP(CodeDate, CodeTime), NOW()) > 0 "
                          "GROUP BY CodeDate, CodeTime, AlertID")
        .arg(site::kAlertWindowSeconds);
}

QString TrayStore::pollStatement() {
    return pollStatementWith(QLatin1String(kNewerColumns));
}

QString TrayStore::olderPollStatement() {
    return pollStatementWith(QString());
}

QString TrayStore::cancelledStatement() {
    // A little wider than the alerts' window, for the moment between the two statements; an alert
    // dated ahead of the server's clock is current later and may be cancelled already.
    return QStringLiteral("SELECT AlertID, CodeDate, CodeTime FROM cancellations WHERE "
                          "CodeDate >= DATE(NOW() - INTERVAL %1 SECOND) AND "
                          "TIMESTAMPDIFF(SECOND, TIMESTAMP(CodeDate, CodeTime), NOW()) < %1")
        .arg(site::kAlertWindowSeconds + 60);
}

QString TrayStore::tooltipStatement() {
    return QStringLiteral("Select TraysToolTipText From properties");
}

QString TrayStore::readAloudStatement() {
    return QStringLiteral("SELECT ReadAloud FROM traysettings WHERE ID = 1");
}

QString TrayStore::bounded(const QString& statement) {
    return boundedStatement(site::kPollStatementSeconds, statement);
}

TrayStore::TrayStore(ServerList servers, DatabaseAccess access)
    : m_servers(std::move(servers)), m_access(std::move(access)) {}

ConnectionOptions TrayStore::options() const {
    ConnectionOptions options;
    options.connectTimeoutSeconds = site::kPollConnectSeconds;
    options.readTimeoutSeconds = site::kPollReadSeconds;
    options.access = m_access;
    return options;
}

void TrayStore::run(const std::function<void(Connection&)>& job) const {
    m_servers.run(options(), job);
}

PollSnapshot TrayStore::readAlerts(Connection& conn) {
    PollSnapshot s = readAllAlerts(conn);
    if (s.statementRan && !s.alerts.isEmpty() && !m_hostName.isEmpty()) leaveOutOtherAudiences(conn, s);
    if (m_patternsForbidden && !m_unreadable.contains(QStringLiteral("alertpatterns")))
        m_unreadable << QStringLiteral("alertpatterns");
    return s;
}

// Asked only while alerts are live, so that a poll at rest costs the server what it always has.
// The alerts are read first: the patterns of an alert commit with it, so a later statement sees
// them for every alert the first one found.
void TrayStore::leaveOutOtherAudiences(Connection& conn, PollSnapshot& s) {
    if (m_audiencesRefusedAt.isValid() && m_audiencesRefusedAt.elapsed() < qint64(site::kCheckInSeconds) * 1000) return;
    std::set<AlertKey> forOthers;
    try {
        conn.forEach(bounded(audienceStatement()), {hostpattern::folded(m_hostName)}, [&](const QSqlRecord& row) {
            if (row.value(3).toInt() == 0)
                forOthers.insert({row.value(0).toLongLong(), row.value(1).toDate(), row.value(2).toTime()});
        });
    } catch (const Failure& f) {
        // Without the audiences every alert stays: the workstation is told more, never less. Only
        // patterns there and forbidden to this account are a fault to report.
        if (refusedForTables(f)) {
            m_audiencesRefusedAt.start();
            m_patternsForbidden = f.number() == code::PermissionDenied;
        } else if (!s.skipped) {
            s.skipped = f;
        }
        return;
    }
    m_audiencesRefusedAt.invalidate();
    m_patternsForbidden = false;
    s.alerts.erase(std::remove_if(s.alerts.begin(), s.alerts.end(),
                                  [&](const PolledAlert& a) { return forOthers.count(a.key) > 0; }),
                   s.alerts.end());
}

PollSnapshot TrayStore::readAllAlerts(Connection& conn) {
    const bool tryNewer =
        !m_newerRefusedAt.isValid() || m_newerRefusedAt.elapsed() >= qint64(site::kCheckInSeconds) * 1000;
    bool readApart = true;
    if (tryNewer) {
        PollSnapshot s = readWith(conn, pollStatement(), true);
        const bool refused = !s.statementRan && s.skipped && refusedForTables(*s.skipped);
        // A table of the newer statement locked for longer than the bound (an upgrade's ALTER, a
        // backup) must not keep the alerts from showing: they are read again without it.
        const bool waited = !s.statementRan && s.skipped && dberror::waitRanOut(*s.skipped);
        if (!refused && !waited) {
            m_newerRefusedAt.invalidate();
            m_unreadable.clear();
            return s;
        }
        if (refused) {
            m_newerRefusedAt.start();
            m_unreadable = unreadableTables(conn);
        }
        readApart = refused;
    }
    PollSnapshot s = readWith(conn, olderPollStatement(), false);
    if (!s.statementRan || s.alerts.isEmpty() || !readApart) return s;
    if (const auto cancelled = readCancelled(conn)) {
        s.cancellationsRead = true;
        for (PolledAlert& a : s.alerts)
            a.cancelled = cancelled->count(a.key) > 0;
    }
    s.readAloud = readAloudSetting(conn);
    return s;
}

// A poll that never reached a statement: built in place, because GCC's optimiser, with the
// sanitisers on, takes the move-assignment of a whole snapshot over a half-built one for a read of
// uninitialised memory.
static PollSnapshot unreached(const Failure& f) {
    PollSnapshot s;
    if (pollReaction(f) == Reaction::EndHandler) s.failure.emplace(f);
    return s;
}

PollSnapshot TrayStore::fetchAlerts() {
    std::optional<PollSnapshot> s;
    try {
        run([&](Connection& conn) {
            s.emplace(readAlerts(conn));
            if (s->failure && dberror::nodeLost(*s->failure)) throw *s->failure;
        });
    } catch (const Failure& f) {
        return unreached(f);
    }
    return s ? std::move(*s) : PollSnapshot();
}

TooltipResult TrayStore::readTooltip(Connection& conn) {
    TooltipResult t;
    try {
        t.text = textOf(firstRow(conn.select(bounded(tooltipStatement()))), QStringLiteral("TraysToolTipText"));
        t.answered = true;
    } catch (const Failure& f) {
        t.failure = f;
        t.answered = !dberror::unanswered(f);
    }
    return t;
}

} // namespace hv
