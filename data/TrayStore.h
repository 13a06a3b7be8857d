#pragma once

#include "DatabaseAccess.h"
#include "PollSnapshot.h"
#include "ServerList.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <functional>

namespace hv {

class Connection;

// The tray client's reads: the alerts of the last three minutes with their cancellations, whether
// the site has alerts read aloud, and the tooltip text. Made once with the servers and the tray
// client's account, and used on the one thread that polls. No statement waits without a bound: a
// locked table or a server that stops answering ends the read, and the next poll tries again.
class TrayStore {
public:
    explicit TrayStore(ServerList servers, DatabaseAccess access = {});

    // Runs job on a connection with the poll's bounds to the first node that takes it (see
    // ServerList::run).
    void run(const std::function<void(Connection&)>& job) const;
    const ServerList& servers() const { return m_servers; }
    ConnectionOptions options() const;

    // The poll's statement on a connection already open (its session's clock decides which alerts
    // are current), in one round trip with the cancellations and the read-aloud setting. A
    // database or an account from before those (no table, no right to read it) gets the older
    // statement with the cancellations and the setting read apart, as before, and the newer one is
    // tried again a check-in period later. A failure that ends the poll (login refused, server
    // lost) is the snapshot's failure; any other only skips its step.
    PollSnapshot readAlerts(Connection& conn);
    // The same on a connection of its own; a node lost gives way to the next.
    PollSnapshot fetchAlerts();
    // The workstation's name, by which the poll keeps only the alerts meant for it (everyone's,
    // and those of the audiences the name belongs to). Without a name, or on a database without
    // audiences, every alert is read, as before.
    void setHostName(const QString& hostName) { m_hostName = hostName; }
    // The tooltip text on a connection already open.
    static TooltipResult readTooltip(Connection& conn);

    // The alerts of the last three minutes by the server's clock, each with whether it has been
    // cancelled and with the read-aloud setting. The window is measured on date and time together,
    // so that an alert sent just before midnight stays visible after it.
    static QString pollStatement();
    // The same with each alert's audience patterns, for a workstation that knows its name.
    static QString audiencePollStatement();
    // The patterns of the live alerts that have an audience, read apart where the newer statement
    // is refused for a table before them.
    static QString audienceStatement();
    // The same without the tables that came later.
    static QString olderPollStatement();
    static QString tooltipStatement();
    // The cancellations of the alerts that can still be current, for the older statement.
    static QString cancelledStatement();
    static QString readAloudStatement();
    // The statement as sent: on MariaDB the server ends it with an error once the poll's statement
    // bound has passed; any other server reads the bound as a comment and runs the statement as it is.
    static QString bounded(const QString& statement);

    // The tables of the newer statement this database or account does not let the poll read
    // (cancellations, traysettings), as found when that statement was last refused; empty while it
    // works. The check-in says them, so that the console can warn that these workstations keep
    // showing a cancelled alert.
    const QStringList& unreadable() const { return m_unreadable; }

private:
    // The poll as it was before audiences: the newer statement, else the older one.
    PollSnapshot readAllAlerts(Connection& conn);
    // Gives the alerts of s their patterns with a statement of their own.
    void readPatterns(Connection& conn, PollSnapshot& s);
    // Gives the alerts of s their presentations: a statement of its own, sent only while alerts
    // are live, so that a poll at rest costs the server what it always has.
    void readPresentations(Connection& conn, PollSnapshot& s);

    ServerList m_servers;
    DatabaseAccess m_access;
    // Since when the newer statement is known not to work here; invalid while it does.
    QElapsedTimer m_newerRefusedAt;
    QElapsedTimer m_audiencesRefusedAt;
    QElapsedTimer m_presentationsRefusedAt;
    bool m_patternsForbidden = false;
    QString m_hostName;
    QStringList m_unreadable;
};

} // namespace hv
