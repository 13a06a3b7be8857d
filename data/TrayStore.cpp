#include "TrayStore.h"

#include "AlertPresentations.h"
#include "Connection.h"
#include "DatabaseErrors.h"
#include "Handler.h"
#include "HostPattern.h"
#include "SiteFacts.h"
#include "StatementBounds.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlRecord>
#include <algorithm>
#include <map>
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

// The patterns of each row's audience, for a workstation that knows its name: in the same round
// trip, and with no value bound (a bound value makes the server prepare the statement, and every
// poll opens its own connection). A JSON array, or NULL for an alert for everyone.
const char* const kPatternsColumn =
    ", (SELECT JSON_ARRAYAGG(p.Pattern) FROM alertpatterns p WHERE p.CodeDate = alerts.CodeDate AND p.CodeTime = "
    "alerts.CodeTime AND p.AlertID = alerts.ID) AS Patterns";

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
          readAloud(columnOf(row, 8, QStringLiteral("ReadAloud"))),
          patterns(columnOf(row, 9, QStringLiteral("Patterns"))) {}
    int id, date, time, name, location, message, comments, cancelled, readAloud, patterns;
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

// An alert's patterns from the poll's JSON array. Anything else reads as none, so that the alert
// reaches this workstation: told more, never less.
QStringList patternsIn(const QVariant& value) {
    QStringList out;
    if (value.isNull()) return out;
    const QJsonDocument doc = QJsonDocument::fromJson(value.toString().toUtf8());
    for (const QJsonValue& v : doc.array())
        if (v.isString()) out << v.toString();
    return out;
}

// Whether the workstation of that name belongs to an alert with these patterns.
bool reaches(const QStringList& patterns, const QString& hostName) {
    if (patterns.isEmpty()) return true;
    for (const QString& pattern : patterns)
        if (hostpattern::matches(pattern, hostName)) return true;
    return false;
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
                if (c->patterns >= 0) a.patterns = patternsIn(row.value(c->patterns));
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
    // The patterns of the live alerts that have an audience; an alert without patterns is for
    // everyone and has no row. No value is bound: a statement with one is prepared on the server,
    // and every poll opens its own connection, so that each would prepare it again (measured: half
    // as much server time again as the poll itself). The workstation judges its own name by the
    // one definition its wake-up messages are judged by.
    return QStringLiteral("SELECT AlertID, CodeDate, CodeTime, Pattern FROM alertpatterns "
                          "Where CodeDate BETWEEN DATE(NOW() - INTERVAL %1 SECOND) AND DATE(NOW()) AND "
                          "TIMESTAMPDIFF(SECOND, TIMESTAMP(CodeDate, CodeTime), NOW()) < %1 AND "
                          "TIMESTAMPDIFF(SECOND, TIMESTAMP(CodeDate, CodeTime), NOW()) > 0")
        .arg(site::kAlertWindowSeconds);
}

QString TrayStore::pollStatement() {
    return pollStatementWith(QLatin1String(kNewerColumns));
}

QString TrayStore::audiencePollStatement() {
    return pollStatementWith(QLatin1String(kNewerColumns) + QLatin1String(kPatternsColumn));
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
    const bool audiences =
        !m_hostName.isEmpty() &&
        (!m_audiencesRefusedAt.isValid() || m_audiencesRefusedAt.elapsed() >= qint64(site::kCheckInSeconds) * 1000);
    std::optional<PollSnapshot> s;
    if (audiences) {
        PollSnapshot withPatterns = readWith(conn, audiencePollStatement(), true);
        const bool refused =
            !withPatterns.statementRan && withPatterns.skipped && refusedForTables(*withPatterns.skipped);
        if (!refused) {
            m_audiencesRefusedAt.invalidate();
            m_patternsForbidden = false;
            // A lock on a table of the statement: read again as before audiences, as today.
            const bool waited =
                !withPatterns.statementRan && withPatterns.skipped && dberror::waitRanOut(*withPatterns.skipped);
            if (!waited) {
                m_newerRefusedAt.invalidate();
                m_unreadable.clear();
                s = std::move(withPatterns);
            }
        } else {
            // Refused for the patterns (a database from before audiences, an account not allowed
            // them) or for a table before them: only a forbidden table of patterns is a fault.
            try {
                conn.select(bounded(QStringLiteral("SELECT 1 FROM alertpatterns LIMIT 0")));
            } catch (const Failure& f) {
                if (refusedForTables(f)) {
                    m_audiencesRefusedAt.start();
                    m_patternsForbidden = f.number() == code::PermissionDenied;
                }
            }
        }
    }
    if (!s) {
        s = readAllAlerts(conn);
        // The newer statement refused for a table before the patterns: they are read apart.
        if (audiences && !m_audiencesRefusedAt.isValid() && s->statementRan && !s->alerts.isEmpty())
            readPatterns(conn, *s);
    }
    if (!m_hostName.isEmpty())
        s->alerts.erase(std::remove_if(s->alerts.begin(), s->alerts.end(),
                                       [&](const PolledAlert& a) { return !reaches(a.patterns, m_hostName); }),
                        s->alerts.end());
    if (m_patternsForbidden && !m_unreadable.contains(QStringLiteral("alertpatterns")))
        m_unreadable << QStringLiteral("alertpatterns");
    if (s->statementRan && !s->alerts.isEmpty()) readPresentations(conn, *s);
    return std::move(*s);
}

void TrayStore::readPresentations(Connection& conn, PollSnapshot& s) {
    if (m_presentationsRefusedAt.isValid() && m_presentationsRefusedAt.elapsed() < qint64(site::kCheckInSeconds) * 1000)
        return;
    std::map<AlertKey, AlertPresentation> found;
    try {
        conn.forEach(bounded(AlertPresentations::liveStatement()), {}, [&](const QSqlRecord& row) {
            found[{row.value(0).toLongLong(), row.value(1).toDate(), row.value(2).toTime()}] =
                AlertPresentations::fromRow(row, 3);
        });
        m_presentationsRefusedAt.invalidate();
    } catch (const Failure& f) {
        // Without them every alert shows in the balloon and rings once, as before: shown all the same.
        if (dberror::notHere(f))
            m_presentationsRefusedAt.start();
        else if (!s.skipped)
            s.skipped = f;
        return;
    }
    for (PolledAlert& a : s.alerts)
        if (const auto it = found.find(a.key); it != found.end()) a.presentation = it->second;
}

void TrayStore::readPatterns(Connection& conn, PollSnapshot& s) {
    std::map<AlertKey, QStringList> patterns;
    try {
        conn.forEach(bounded(audienceStatement()), {}, [&](const QSqlRecord& row) {
            patterns[{row.value(0).toLongLong(), row.value(1).toDate(), row.value(2).toTime()}]
                << row.value(3).toString();
        });
    } catch (const Failure& f) {
        // Without the patterns every alert stays: the workstation is told more, never less.
        if (refusedForTables(f)) {
            m_audiencesRefusedAt.start();
            m_patternsForbidden = f.number() == code::PermissionDenied;
        } else if (!s.skipped) {
            s.skipped = f;
        }
        return;
    }
    for (PolledAlert& a : s.alerts)
        if (const auto it = patterns.find(a.key); it != patterns.end()) a.patterns = it->second;
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
