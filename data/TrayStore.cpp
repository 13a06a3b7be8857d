#include "TrayStore.h"

#include "Connection.h"
#include "DatabaseErrors.h"
#include "Formats.h"
#include "Handler.h"
#include "SiteFacts.h"
#include "StatementBounds.h"

#include <algorithm>
#include <vector>

namespace hv {

QString TrayStore::pollStatement() {
    // The date range lets the server read only the rows of the current day (and of yesterday in the
    // first three minutes after midnight) through the (CodeDate, CodeTime) index; without it every
    // poll of every workstation scans the days that the console has not purged yet.
    return QStringLiteral(
               "SELECT ID, CodeDate, CodeTime, CodeName, CodeLocation, CodeMessage, Comments From alerts Where "
               "CodeDate BETWEEN DATE(NOW() - INTERVAL %1 SECOND) AND DATE(NOW()) AND "
               "TIMESTAMPDIFF(SECOND, TIMESTAMP(CodeDate, CodeTime), NOW()) < %1 AND "
               "TIMESTAMPDIFF(SECOND, TIMESTAMP(CodeDate, CodeTime), NOW()) > 0")
        .arg(site::kAlertWindowSeconds);
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

namespace {

const QString kCrLf = QStringLiteral("\r\n");

bool blankOnly(const QString& s) {
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c == u' ' || c == u'\t'; });
}

// A refused login or a server out of reach ends the poll (the tray client decides what that
// means for the program); any other failure only skips its step.
Reaction pollReaction(const Failure& f) {
    const dberror::Cause cause = dberror::causeOf(f);
    return cause == dberror::Cause::LoginRefused || f.number() == code::CannotOpen ? Reaction::EndHandler
                                                                                   : Reaction::NextStep;
}

// A column's position: where the poll statement puts it, else wherever the record has it.
int columnOf(const QSqlRecord& row, int expected, const QString& name) {
    return row.fieldName(expected) == name ? expected : row.indexOf(name);
}

// Where the block's columns sit in a result; looked up once per poll, not once per value.
struct BlockColumns {
    explicit BlockColumns(const QSqlRecord& row)
        : time(columnOf(row, 2, QStringLiteral("CodeTime"))), name(columnOf(row, 3, QStringLiteral("CodeName"))),
          location(columnOf(row, 4, QStringLiteral("CodeLocation"))),
          message(columnOf(row, 5, QStringLiteral("CodeMessage"))),
          comments(columnOf(row, 6, QStringLiteral("Comments"))) {}
    int time, name, location, message, comments;
};

QString textAt(const QSqlRecord& row, int index, const char* column) {
    if (index < 0) return textOf(row, QLatin1String(column)); // says which column is missing
    return textOf(row.value(index));
}

QString blockOf(const QSqlRecord& row, const BlockColumns& c) {
    const QVariant time = row.value(c.time);
    const QString name = textAt(row, c.name, "CodeName");
    const QString location = textAt(row, c.location, "CodeLocation");
    const QString comments = textAt(row, c.comments, "Comments");
    const QString message = textAt(row, c.message, "CodeMessage");
    // Built in one piece: every fleet poll makes these blocks.
    QString block;
    block.reserve(name.size() + location.size() + comments.size() + message.size() + 48);
    if (!time.isNull()) block += formatAmPm(time.toTime());
    block += u" - CODE ";
    block += name;
    block += kCrLf;
    block += u"Location = ";
    block += location;
    block += kCrLf;
    if (!blankOnly(comments)) {
        block += comments;
        block += kCrLf;
    }
    block += message;
    block += kCrLf;
    return block;
}

// The cancellations the server holds now. A database made before alerts could be cancelled, an
// account without the right to read them or a failure of this one statement leaves the poll as it
// was: the alerts read stand, and what earlier polls learnt still counts.
CancelledAlerts readCancelled(Connection& conn) {
    CancelledAlerts out;
    try {
        conn.forEach(TrayStore::bounded(TrayStore::cancelledStatement()), {}, [&](const QSqlRecord& row) {
            out.emplace(row.value(0).toLongLong(), row.value(1).toDate(), row.value(2).toTime());
        });
    } catch (const Failure&) {
    }
    return out;
}

struct Row {
    ShownAlert alert;
    QString block;
    QString spoken;
};

QString spokenOf(const QSqlRecord& row, const BlockColumns& c) {
    QStringList parts;
    for (const QString& part :
         {textAt(row, c.name, "CodeName"), QStringLiteral("Location: ") + textAt(row, c.location, "CodeLocation"),
          textAt(row, c.message, "CodeMessage")})
        if (!part.trimmed().isEmpty()) parts << part.trimmed();
    // A pause between the parts, also where one ends without a full stop.
    return parts.join(QStringLiteral(". "));
}

} // namespace

QString TrayStore::alertBlock(const QSqlRecord& row) {
    return blockOf(row, BlockColumns(row));
}

QString TrayStore::spokenText(const QSqlRecord& row) {
    return spokenOf(row, BlockColumns(row));
}

bool TrayStore::readAloud(Connection& conn) {
    try {
        const QList<QSqlRecord> rows = conn.select(bounded(readAloudStatement()));
        return !rows.isEmpty() && rows.front().value(0).toInt() != 0;
    } catch (const Failure&) {
        return false;
    }
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

PollResult TrayStore::fetchAlerts() const {
    PollResult result;
    poll(false, [&](const PollResult& r) { result = r; }, {});
    return result;
}

void TrayStore::poll(bool withTooltip, const std::function<void(const PollResult&)>& alertsRead,
                     const std::function<void(const TooltipResult&)>& tooltipRead,
                     const std::function<void(Connection&)>& afterwards, CancelledAlerts* cancelled,
                     const std::function<void(bool)>& readAloudRead) const {
    bool delivered = false;
    try {
        m_servers.run(options(), [&](Connection& conn) {
            const PollResult r = readAlerts(conn, cancelled);
            // This node is gone or cut off: the next one answers for it.
            if (r.failure && dberror::nodeLost(*r.failure)) throw *r.failure;
            alertsRead(r);
            delivered = true;
            if (readAloudRead && !r.failure && !r.ids.isEmpty()) readAloudRead(readAloud(conn));
            // A server lost after the alerts leaves the tooltip and the delivery writes for a later poll.
            bool answering = !r.failure && !(r.skipped && dberror::unanswered(*r.skipped));
            if (withTooltip && answering) {
                const TooltipResult t = readTooltip(conn);
                answering = !(t.failure && dberror::unanswered(*t.failure));
                tooltipRead(t);
            }
            if (afterwards && answering) afterwards(conn);
        });
    } catch (const Failure& f) {
        if (delivered) return;
        // Without a connection the poll has nothing to show; the table says whether that ends it.
        PollResult r;
        if (pollReaction(f) == Reaction::EndHandler) r.failure = f;
        alertsRead(r);
    }
}

PollResult TrayStore::readAlerts(Connection& conn, CancelledAlerts* cancelled) {
    PollResult r;
    // A node lost under the statement ends the read, so that the poll can move to the next node.
    Handler h([&r](const Failure& f) {
        if (dberror::nodeLost(f)) return Reaction::EndHandler;
        const Reaction reaction = pollReaction(f);
        if (reaction == Reaction::NextStep) r.skipped = f;
        return reaction;
    });
    h.run([&] {
        // Each row's block is made as the row arrives, so that no copy of the rows is kept.
        std::vector<Row> rows;
        h.step([&] {
            std::optional<BlockColumns> columns;
            int idColumn = -1, dateColumn = -1;
            conn.forEach(bounded(pollStatement()), {}, [&](const QSqlRecord& row) {
                if (!columns) {
                    columns.emplace(row);
                    idColumn = columnOf(row, 0, QStringLiteral("ID"));
                    dateColumn = columnOf(row, 1, QStringLiteral("CodeDate"));
                }
                Row& added = rows.emplace_back(Row{{row.value(idColumn).toLongLong(), row.value(dateColumn).toDate(),
                                                    row.value(columns->time).toTime(), textOf(row.value(columns->name)),
                                                    textOf(row.value(columns->location))},
                                                   QString(),
                                                   QString()});
                h.step([&] {
                    added.block = blockOf(row, *columns);
                    added.spoken = spokenOf(row, *columns);
                });
            });
            r.statementRan = true;
        });
        if (!r.statementRan) return;
        CancelledAlerts gone;
        if (!rows.empty()) {
            const CancelledAlerts now = readCancelled(conn);
            for (const Row& row : rows) {
                const auto key = std::make_tuple(row.alert.id, row.alert.codeDate, row.alert.codeTime);
                if (now.count(key) || (cancelled && cancelled->count(key))) gone.insert(key);
            }
        }
        if (cancelled) *cancelled = gone;
        // The statement has no order; the blocks and the ring decision go by ID.
        std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.alert.id < b.alert.id; });
        for (const Row& row : rows) {
            if (gone.count(std::make_tuple(row.alert.id, row.alert.codeDate, row.alert.codeTime))) continue;
            r.ids.append(row.alert.id);
            r.alerts.append(row.alert);
            r.text += row.block;
            r.spoken.append(row.spoken);
        }
    });
    if (const Failure* f = h.endedBy()) r.failure = *f;
    return r;
}

TooltipResult TrayStore::readTooltip(const std::function<void(Connection&)>& afterwards) const {
    try {
        TooltipResult t;
        m_servers.run(options(), [&](Connection& conn) {
            t = readTooltip(conn);
            if (t.failure && dberror::nodeLost(*t.failure)) throw *t.failure;
            if (afterwards && !(t.failure && dberror::unanswered(*t.failure))) afterwards(conn);
        });
        return t;
    } catch (const Failure& f) {
        TooltipResult t;
        t.failure = f;
        t.answered = !dberror::unanswered(f);
        return t;
    }
}

TooltipResult TrayStore::readTooltip(Connection& conn) const {
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
