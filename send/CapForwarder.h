#pragma once

#include "CapAlert.h"
#include "CapIntake.h"
#include "DatabaseAccess.h"
#include "ExitStatus.h"
#include "ServerList.h"
#include "WakeSettings.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace hv {

class CapMapping;
struct AlertKey;
struct SavedAlert;
class Clock;
class Failure;

// What this site does with one CAP message, from the command line (--cap) and from a followed feed
// (--follow) alike: refuses it (not current, malformed as CAP means it), skips it (taken already,
// nothing here is concerned), or sends its alerts, replaces the alerts of what it updates or
// cancels them, writing the message and its alerts in one transaction so that it is taken once.
class CapForwarder {
public:
    enum class Origin {
        Command, // an operator's halvane-send --cap at the console's computer
        Feed,    // a feed from outside, which may not cancel this site's own alerts
    };

    struct Setup {
        explicit Setup(ServerList nodes) : servers(std::move(nodes)) {}

        ServerList servers;
        DatabaseAccess access;
        QString serverName; // halvane.ini's first line, for the messages
        QString siteSender; // the sender of this site's CAP export
        QString hostName;   // this computer, as the cancellations name it
        const CapMapping* mapping = nullptr;
        CapIntake::Rules rules; // now is read from the clock for each message
        Origin origin = Origin::Command;
        // Where what was taken is announced at once; no broker: nowhere.
        WakeSettings wake;
    };

    struct Decision {
        enum class Kind { Forwarded, Replaced, Cancelled, Skipped, Refused, Failed };
        Kind kind = Kind::Failed;
        // What was done and why, in one sentence without the message's name.
        QString reason;
        // Further things to say: a message cut to its column, a clock that differs, what was
        // left out.
        QStringList notes;
        ExitStatus status = ExitStatus::Done;
        // The same message may well go through later: the database did not take it, or it was
        // sent a little ahead of this computer's clock.
        bool again = false;
    };

    CapForwarder(Setup setup, const Clock& clock);

    Decision take(const CapAlert& alert);

    // forwarded, replaced, cancelled, skipped, refused, not taken.
    static QString verb(Decision::Kind kind);
    // The message as CAP's references name it: sender,identifier,sent.
    static QString nameOf(const CapAlert& alert);

private:
    struct Named;
    Decision cancel(const CapAlert& alert, const Named& named, bool once);
    Decision submit(const CapAlert& alert, const Named& named, bool once, const CapIntake::Rules& rules);
    Decision failed(const Failure& failure, const QString& what) const;
    // After the commit: the workstations hear of it now; brokers not reached are noted.
    void announce(const QList<SavedAlert>& alerts, const QList<AlertKey>& cancelled, Decision& d) const;

    Setup m_setup;
    const Clock& m_clock;
};

} // namespace hv
