#pragma once

#include "DatabaseAccess.h"
#include "Failure.h"
#include "ServerList.h"
#include "ShownAlert.h"

#include <QDate>
#include <QList>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QTime>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <tuple>

namespace hv {

class Connection;

// What the database part of one poll brought back.
struct PollResult {
    // Set when the server could not be reached or refused the login; the poll then ends there.
    std::optional<Failure> failure;
    // The statement ran; otherwise ids and text say nothing about which alerts are current.
    bool statementRan = false;
    QList<qint64> ids; // ascending
    QString text;      // one block per row, in ID order
    // The same alerts as the receipts name them, in ID order.
    QList<ShownAlert> alerts;
    // A failure that only skipped a step (the poll went on), for the workstation's check-in.
    std::optional<Failure> skipped;
    QStringList spoken; // what each alert says when read aloud, beside its ID
};

// The alerts that the console has cancelled, each named by its alerts row's ID, date and minute.
// A cancellation is never taken back: once seen, an alert stays gone for as long as it is current,
// even when a later poll cannot read the cancellations.
using CancelledAlerts = std::set<std::tuple<qint64, QDate, QTime>>;

// What a read of the tooltip text brought back.
struct TooltipResult {
    // The server answered (with the text, NULL as empty, or with an error of its own); a later
    // poll reads it again only when it did not.
    bool answered = false;
    QString text;
    std::optional<Failure> failure;
};

// The tray client's reads: the alerts of the last three minutes and the tooltip text. Each read
// opens its own connection and closes it on the thread that calls it, and no statement waits
// without a bound: a locked table or a server that stops answering ends the read, and the next
// poll tries again.
class TrayStore {
public:
    explicit TrayStore(ServerList servers, DatabaseAccess access = {});

    // The database part of one poll: its own connection, the statement run once, the text built.
    // A node that cannot be reached, is lost under the statement or has left its cluster's quorum
    // gives way to the next within the same poll; only when every node fails does the poll end
    // as with a lost server.
    PollResult fetchAlerts() const;
    // The same, handed to alertsRead; then, when alerts are current and readAloudRead is given,
    // whether the site has them read aloud; then, when withTooltip is set, the tooltip is read on
    // the same connection and handed to tooltipRead. The alerts go first, so that a locked
    // settings table never holds up an alert.
    // Last, `afterwards` gets the same connection while the server still answers on it (the
    // workstation's delivery writes). `cancelled` carries what earlier polls learnt of
    // cancellations; left out, only this poll's reading counts.
    void poll(bool withTooltip, const std::function<void(const PollResult&)>& alertsRead,
              const std::function<void(const TooltipResult&)>& tooltipRead,
              const std::function<void(Connection&)>& afterwards = {}, CancelledAlerts* cancelled = nullptr,
              const std::function<void(bool)>& readAloudRead = {}) const;
    // The tooltip alone, as read at start; then `afterwards` as for a poll.
    TooltipResult readTooltip(const std::function<void(Connection&)>& afterwards = {}) const;
    // The poll's statement and its text on a connection already open (its session's clock is the
    // one that decides which alerts are current). Cancelled alerts are left out as if they had
    // aged out; `cancelled` is brought up to the alerts still current.
    static PollResult readAlerts(Connection& conn, CancelledAlerts* cancelled = nullptr);

    // The alerts of the last three minutes by the server's clock. The window is measured on date
    // and time together, so that an alert sent just before midnight stays visible after it.
    static QString pollStatement();
    static QString tooltipStatement();
    // The cancellations of the alerts that can still be current. Only read when the poll found
    // alerts, so that a workstation at rest sends nothing more than before.
    static QString cancelledStatement();
    static QString readAloudStatement();
    // Whether the site has alerts read aloud. Off on any failure: a database from before the
    // setting existed has no table for it, and a workstation then behaves as it always did.
    static bool readAloud(Connection& conn);
    // The statement as sent: on MariaDB the server ends it with an error once the poll's statement
    // bound has passed; any other server reads the bound as a comment and runs the statement as it is.
    static QString bounded(const QString& statement);
    // The popup text of one alert: time and code, location, the standing comments when there are
    // any, the operator's message; every line ends in CR LF and NULL reads as empty.
    static QString alertBlock(const QSqlRecord& row);
    // What one alert says when read aloud: its code, its location and the operator's message.
    static QString spokenText(const QSqlRecord& row);

private:
    ConnectionOptions options() const;
    TooltipResult readTooltip(Connection& conn) const;

    ServerList m_servers;
    DatabaseAccess m_access;
};

} // namespace hv
