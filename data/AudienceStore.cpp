#include "AudienceStore.h"

#include "Connection.h"
#include "DeliveryStore.h"
#include "Failure.h"
#include "HostPattern.h"
#include "SiteFacts.h"
#include "StatementBounds.h"

namespace hv {

namespace {

// Silent as the delivery window says it: more than two poll intervals past a check-in it owed.
const QString kHostsStatement =
    QStringLiteral("SELECT HostName, TIMESTAMPDIFF(SECOND, LastCheckIn, NOW()) <= CheckInSeconds + %1 * PollSeconds "
                   "FROM workstations ORDER BY HostName LIMIT %2")
        .arg(site::kSilentAfterMissedPolls)
        .arg(DeliveryStore::kMostRows);

QList<AudienceStore::Host> readHosts(Connection& connection) {
    QList<AudienceStore::Host> hosts;
    connection.forEach(kHostsStatement, {}, [&](const QSqlRecord& r) {
        hosts.append({textOf(r.value(0)), r.value(1).toInt() != 0});
    });
    return hosts;
}

QStringList patternsOf(Connection& connection, const QVariant& id) {
    QStringList patterns;
    for (const QSqlRecord& r : connection.select(
             QStringLiteral("SELECT Pattern FROM audiencepatterns WHERE AudienceID = ? ORDER BY Pattern"), {id}))
        patterns << textOf(r.value(0));
    return patterns;
}

// Runs a statement that may meet the unique name; false when it did.
bool unlessTaken(const std::function<void()>& statement) {
    try {
        statement();
        return true;
    } catch (const Failure& f) {
        if (f.nativeCode() == dberror::kDuplicateKey) return false;
        throw;
    }
}

} // namespace

AudienceStore::Picture AudienceStore::read() {
    Picture p;
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        p = {};
        for (const QSqlRecord& r :
             connection.select(QStringLiteral("SELECT ID, AudienceName FROM audiences ORDER BY AudienceName")))
            p.audiences.append({r.value(0).toInt(), textOf(r.value(1)), {}});
        QHash<int, Audience*> byId;
        for (Audience& a : p.audiences)
            byId.insert(a.id, &a);
        connection.forEach(QStringLiteral("SELECT AudienceID, Pattern FROM audiencepatterns ORDER BY AudienceID, "
                                          "Pattern"),
                           {}, [&](const QSqlRecord& r) {
                               if (Audience* a = byId.value(r.value(0).toInt())) a->patterns << textOf(r.value(1));
                           });
        for (const QSqlRecord& r : connection.select(QStringLiteral("SELECT CodeName FROM codes ORDER BY CodeName")))
            p.codes << textOf(r.value(0));
        for (const QSqlRecord& r :
             connection.select(QStringLiteral("SELECT CodeName FROM codereach WHERE LocationOnly = 1")))
            p.locationOnlyCodes << textOf(r.value(0));
        for (const QSqlRecord& r :
             connection.select(QStringLiteral("SELECT CodeLocation FROM locations ORDER BY CodeLocation")))
            p.locations << textOf(r.value(0));
        for (const QSqlRecord& r :
             connection.select(QStringLiteral("SELECT CodeLocation, AudienceID FROM locationaudiences")))
            p.placement.append({textOf(r.value(0)), r.value(1).toInt()});
        p.hosts = readHosts(connection);
    });
    return p;
}

AudienceStore::Reach AudienceStore::reachOf(const QString& codeName, const QString& codeLocation) {
    Reach reach;
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        reach = {};
        reach.siteTargets =
            !connection.select(QStringLiteral("SELECT 1 FROM codereach WHERE LocationOnly = 1 LIMIT 1")).isEmpty();
        if (!reach.siteTargets) return;
        const QList<QSqlRecord> found = connection.select(
            QStringLiteral("SELECT a.ID, a.AudienceName FROM codereach r JOIN locationaudiences l ON "
                           "l.CodeLocation = ? JOIN audiences a ON a.ID = l.AudienceID WHERE r.CodeName = ? AND "
                           "r.LocationOnly = 1"),
            {codeLocation, codeName});
        if (found.isEmpty()) return;
        AlertAudience audience{textOf(found.front().value(1)), patternsOf(connection, found.front().value(0))};
        // An audience without patterns reaches everyone, as the submission decides.
        if (audience.patterns.isEmpty()) return;
        reach.recentWorkstations = countMatching(audience.patterns, readHosts(connection), true);
        reach.audience = audience;
    });
    return reach;
}

bool AudienceStore::create(const QString& name) {
    bool made = false;
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        made = unlessTaken(
            [&] { connection.execute(QStringLiteral("INSERT INTO audiences (AudienceName) VALUES (?)"), {name}); });
    });
    return made;
}

bool AudienceStore::rename(int id, const QString& name) {
    bool renamed = false;
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        renamed = unlessTaken([&] {
            connection.execute(QStringLiteral("UPDATE audiences SET AudienceName = ? WHERE ID = ?"), {name, id});
        });
    });
    return renamed;
}

void AudienceStore::remove(int id) {
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        connection.begin();
        connection.execute(QStringLiteral("DELETE FROM locationaudiences WHERE AudienceID = ?"), {id});
        connection.execute(QStringLiteral("DELETE FROM audiencepatterns WHERE AudienceID = ?"), {id});
        connection.execute(QStringLiteral("DELETE FROM audiences WHERE ID = ?"), {id});
        connection.commit();
    });
}

bool AudienceStore::addPattern(int id, const QString& pattern) {
    bool added = false;
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        added = unlessTaken([&] {
            connection.execute(QStringLiteral("INSERT INTO audiencepatterns (AudienceID, Pattern) VALUES (?, ?)"),
                               {id, pattern});
        });
    });
    return added;
}

void AudienceStore::removePattern(int id, const QString& pattern) {
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        connection.execute(QStringLiteral("DELETE FROM audiencepatterns WHERE AudienceID = ? AND Pattern = ?"),
                           {id, pattern});
    });
}

void AudienceStore::setLocationOnly(const QString& codeName, bool on) {
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        connection.execute(QStringLiteral("INSERT INTO codereach (CodeName, LocationOnly) VALUES (?, ?) ON DUPLICATE "
                                          "KEY UPDATE LocationOnly = VALUES(LocationOnly)"),
                           {codeName, on ? 1 : 0});
    });
}

void AudienceStore::setLocationAudience(const QString& codeLocation, int audienceId) {
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        if (audienceId == 0)
            connection.execute(QStringLiteral("DELETE FROM locationaudiences WHERE CodeLocation = ?"), {codeLocation});
        else
            connection.execute(QStringLiteral("INSERT INTO locationaudiences (CodeLocation, AudienceID) VALUES (?, ?) "
                                              "ON DUPLICATE KEY UPDATE AudienceID = VALUES(AudienceID)"),
                               {codeLocation, audienceId});
    });
}

QString AudienceStore::nameProblem(const QString& name) {
    if (name.trimmed().isEmpty()) return QStringLiteral("Type a name for the audience.");
    if (name.trimmed() != name) return QStringLiteral("An audience's name cannot begin or end with a blank.");
    if (name.size() > kLongestName)
        return QStringLiteral("An audience's name is at most %1 characters long.").arg(kLongestName);
    return {};
}

int AudienceStore::countMatching(const QStringList& patterns, const QList<Host>& hosts, bool recentOnly) {
    int count = 0;
    for (const Host& h : hosts) {
        if (recentOnly && !h.recent) continue;
        for (const QString& pattern : patterns) {
            if (hostpattern::matches(pattern, h.name)) {
                ++count;
                break;
            }
        }
    }
    return count;
}

} // namespace hv
