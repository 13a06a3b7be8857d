#pragma once

#include "AlertRows.h"
#include "DatabaseAccess.h"
#include "SavedAlert.h"
#include "ServerList.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace hv {

class Clock;
class Connection;

// The alerts: what the main window offers to choose from, the purge of old live alerts and the
// alert itself, written to `alerts` and `AlertLog`. Each call opens its own connection and lets it
// go; failures leave as hv::Failure.
class AlertStore {
public:
    explicit AlertStore(ServerList servers, DatabaseAccess access = {})
        : m_servers(std::move(servers)), m_access(std::move(access)) {}

    struct Choices {
        QStringList codes;
        QStringList locations;
    };
    // Every code name, then every location name, in name order as the database gives them. What
    // was read before a failure stays in `out`.
    void readChoices(Choices& out);

    // The clock of the computer that submits differs from the database server's by more than a
    // submission allows (site::kClockRefusalSeconds): nothing was purged or stored.
    struct ClockRefused {
        QDateTime consoleNow;
        QDateTime serverNow;
        // Positive when the server's clock is ahead.
        qint64 serverAheadSeconds() const;
    };
    // The clock check every submission begins with, then fncDeleteSevenDayOldRecords: drops the
    // live alerts of earlier days by the database server's clock. Throws ClockRefused when the
    // clocks differ too much; `now` is the submitting computer's clock.
    void fncDeleteSevenDayOldRecords(const QDateTime& now);
    // The purge itself, dated by the server's clock.
    static QString purgeStatement();

    struct Alert {
        QString codeName;
        QString codeLocation;
        // Unset when the operator declined a custom message: the column keeps its default.
        std::optional<QString> codeMessage;
        // Where the code sets no presentation, this one (a CAP message that calls for it).
        std::optional<AlertPresentation> presentationIfNone = {};
    };
    struct Saved {
        QDateTime consoleNow; // the one reading that dated both rows
        QDateTime serverNow;  // the database server's clock at the same moment
        QString comments;     // of the first alert
        // Every alert as stored, in the order given.
        QList<SavedAlert> alerts;
        // The submission's token was found: an earlier try stored these alerts, and nothing was
        // written now.
        bool already = false;
    };

    // Looks up the code's comments and writes both rows, all or nothing.
    Saved save(const Alert& alert, const Clock& clock, const QString& token = {});
    // The same for several alerts and the rows of newer tables that belong with them: every row
    // in one transaction, all or nothing, dated by one reading of the clock. A failure of a
    // further row (its own duplicate key, say) leaves as that failure, with nothing stored.
    //
    // token names the submission, so that a try whose outcome was never learned (the answer to its
    // COMMIT lost, a script that sends again) stores it once: the token is looked up first, and
    // written with the alerts. A submission whose COMMIT went unanswered and could not be looked
    // for since leaves with a failure that dberror::outcomeUnknown() tells apart. A database
    // without the table stores without a token.
    Saved save(const QList<Alert>& alerts, const Clock& clock, const QList<AlertRows*>& further,
               const QString& token = {});

    // A new token for a submission: unique on every computer, at every moment.
    static QString newToken();

    // fncGetCodeComments: the standing text of a code, trimmed; empty when the code is gone.
    static QString fncGetCodeComments(Connection& connection, const QString& codeName);

private:
    ServerList m_servers;
    DatabaseAccess m_access;
};

} // namespace hv
