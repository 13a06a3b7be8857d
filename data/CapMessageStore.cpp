#include "CapMessageStore.h"

#include "CapMessageRows.h"
#include "CheckedWrite.h"
#include "Connection.h"
#include "DatabaseErrors.h"
#include "StatementBounds.h"

#include <QSqlRecord>

namespace hv {

bool CapMessageStore::present() {
    bool there = true;
    try {
        m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
            connection.select(QStringLiteral("SELECT 1 FROM capmessages LIMIT 0"));
        });
    } catch (const Failure& f) {
        if (!dberror::noSuchTable(f)) throw;
        there = false;
    }
    return there;
}

std::optional<CapMessageStore::Taken> CapMessageStore::takenOn(Connection& connection, const Key& key) {
    const QList<QSqlRecord> rows = connection.select(
        QStringLiteral("SELECT AlertNo, MsgType, Outcome, Cancelled, TakenAt, HostName, AlertID, LogID, CodeDate, "
                       "CodeTime, CodeName, CodeLocation FROM capmessages WHERE Sender = ? AND Identifier = ? AND "
                       "Sent = ? ORDER BY AlertNo"),
        {key.sender, key.identifier, key.sent});
    if (rows.isEmpty()) return std::nullopt;
    Taken t;
    t.key = key;
    for (const QSqlRecord& r : rows) {
        if (r.value(0).toInt() == 0) {
            t.msgType = textOf(r.value(1));
            t.outcome = textOf(r.value(2));
            t.cancelled = r.value(3).toInt();
            t.takenAt = r.value(4).toDateTime();
            t.hostName = textOf(r.value(5));
        }
        if (!r.value(6).isNull())
            t.alerts.append({r.value(6).toLongLong(), r.value(7), r.value(8).toDate(), r.value(9).toTime(),
                             textOf(r.value(10)), textOf(r.value(11))});
    }
    return t;
}

std::optional<CapMessageStore::Taken> CapMessageStore::taken(const Key& key) {
    std::optional<Taken> out;
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) { out = takenOn(connection, key); });
    return out;
}

QList<CapMessageStore::Taken> CapMessageStore::taken(const QList<Key>& keys) {
    QList<Taken> out;
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        out.clear();
        for (const Key& key : keys)
            if (const auto t = takenOn(connection, key)) out.append(*t);
    });
    return out;
}

void CapMessageStore::record(CapMessageRows& rows) {
    CheckedWrite write;
    write.write = [&](Connection& connection) { rows.write(connection, {}); };
    write.landed = [&](Connection& connection) { return rows.landed(connection, {}); };
    write.run(m_servers, consoleConnectionOptions(m_access));
}

} // namespace hv
