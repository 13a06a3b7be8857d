#pragma once

#include "DatabaseAccess.h"
#include "SavedAlert.h"
#include "ServerList.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace hv {

// The audiences as the administration window edits them: each audience's host-name patterns, the
// codes that reach only their location's audience, and the audience each location names; and the
// workstations known to the delivery tables, which the window offers as hosts and counts against.
// Failures leave as hv::Failure; a database from before audiences answers with the server's 1146.
class AudienceStore {
public:
    // The longest audience name the table holds.
    static constexpr qsizetype kLongestName = 64;

    struct Audience {
        int id = 0;
        QString name;
        QStringList patterns; // in the column's order
    };
    // A host name known to the delivery tables, once per desktop user on it; recent unless silent.
    struct Host {
        QString name;
        bool recent = false;
    };
    struct Picture {
        QList<Audience> audiences; // by name
        QStringList codes;         // the codes catalogue, as the editors show it
        QStringList locationOnlyCodes;
        QStringList locations;                    // the locations catalogue
        QList<std::pair<QString, int>> placement; // a location and the audience it names
        QList<Host> hosts;                        // by name
    };

    // Whom an alert of a code at a location would reach now: everyone (no audience) or the
    // audience, with how many of its workstations checked in recently.
    struct Reach {
        std::optional<AlertAudience> audience;
        int recentWorkstations = 0;
        // Whether any code reaches only its location's audience: a site that has set none up
        // sees the main window as it always was.
        bool siteTargets = false;
    };

    explicit AudienceStore(ServerList servers, DatabaseAccess access = {})
        : m_servers(std::move(servers)), m_access(std::move(access)) {}

    Picture read();
    Reach reachOf(const QString& codeName, const QString& codeLocation);

    // Each returns false, changing nothing, where the name is already another audience's.
    bool create(const QString& name);
    bool rename(int id, const QString& name);
    // The audience goes with its patterns; the locations that named it name none (they reach
    // everyone), all in one transaction.
    void remove(int id);
    // False where the audience already has the pattern.
    bool addPattern(int id, const QString& pattern);
    void removePattern(int id, const QString& pattern);
    void setLocationOnly(const QString& codeName, bool on);
    // 0 names no audience.
    void setLocationAudience(const QString& codeLocation, int audienceId);

    // Why a name cannot be an audience's, or an empty text when it can.
    static QString nameProblem(const QString& name);
    // How many of the hosts (recent ones only, if asked) belong to one of the patterns.
    static int countMatching(const QStringList& patterns, const QList<Host>& hosts, bool recentOnly);

private:
    ServerList m_servers;
    DatabaseAccess m_access;
};

} // namespace hv
