#pragma once

#include "AudioState.h"
#include "Failure.h"
#include "RingReport.h"
#include "ShownAlert.h"
#include "WakeState.h"
#include "WorkstationIdentity.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace hv {

class Connection;

// A receipt for an alert this workstation showed: when it first showed it, how the ring went and
// when it ended, and when the user closed the popup, each measured on the workstation's steady
// clock and turned into the server's time by the statement.
struct ReceiptWrite {
    ShownAlert alert;
    QElapsedTimer shownAt;
    RingReport ring;
    QElapsedTimer rangAt;
    QElapsedTimer closedAt; // invalid while the user has not closed it
    // How the alert came: delivery::kByWakeUp or kByPoll, where the workstation has a wake-up
    // channel; empty where it has none, and nothing is recorded.
    QString channel;
    // It came by wake-up and no poll has shown it yet: it is written only on a connection whose
    // poll found the alert in the database.
    bool needsConfirmation = false;
};

// The user closed the popup that showed an alert whose receipt has been written already.
struct CloseWrite {
    ShownAlert alert;
    QElapsedTimer closedAt;
};

// The user at the workstation answered an alert with one of the answers it offered.
struct AnswerWrite {
    ShownAlert alert;
    QString answer;
    QElapsedTimer answeredAt;
};

// How a write went: done, refused by a server that answered (no delivery tables, no rights, a
// value it would not take), or not answered at all (the same may well go through later).
enum class WriteOutcome { Written, Refused, Lost };

// Which way a workstation's writes go in. The database's procedures are the door (they check what
// they are given, stamp the address the server sees, and are all the tray client's account may
// run); a database from before them, or an account not yet given them, gets the direct statements
// of before, and the procedures are asked for again a check-in period later.
class WriteDoors {
public:
    bool procedures() const;
    void procedureMissing() { m_missingSince.start(); }
    void procedureFound() { m_missingSince.invalidate(); }

private:
    QElapsedTimer m_missingSince; // invalid while the procedures work
};

// The statements a workstation writes into the delivery tables, each behind its time bound and
// with values bound, never spliced. None of them throws: a failure is an outcome.
class DeliveryWrites {
public:
    // Every receipt, through the procedure one by one (or, without it, in one statement). The
    // first receipt for an alert stays: a workstation restarted while the alert is current shows
    // and rings it again, but it saw it first back then.
    static WriteOutcome writeReceipts(Connection& connection, const WorkstationIdentity& me,
                                      const QList<ReceiptWrite>& receipts, WriteDoors* doors = nullptr);
    static WriteOutcome writeClose(Connection& connection, const WorkstationIdentity& me, const CloseWrite& close,
                                   WriteDoors* doors = nullptr);

    // Through the procedure alone: answers came with it, and it checks that the alert offered the
    // answer. The first answer stays, so the same write may go again.
    static WriteOutcome writeAnswer(Connection& connection, const WorkstationIdentity& me, const AnswerWrite& answer);

    static QString receiptCall();
    static QString answerCall();
    static QString closeCall();
    // The direct statements, for a database without the procedures.
    static QString receiptStatement(int rows);
    static QString closeStatement();
};

// What a workstation tells the server about itself about once a minute: its version, its audio,
// its last poll failure, the tables it could not read and its wake-up channel. Lives on the
// database thread; the check-in rides on a poll's connection.
class CheckIn {
public:
    CheckIn(WorkstationIdentity identity, QString programVersion);

    void setAudioState(const AudioState& state) { m_audio = state; }
    void setWakeState(const WakeState& state) { m_wake = state; }
    // Tables the poll could not read (no table, no right): said so that the console can warn.
    void setUnreadable(const QStringList& tables) { m_unreadable = tables; }
    // A poll failed: the next check-in says so.
    void pollFailed(const Failure& failure);
    // The first check-in waits this long instead of going with the first chance (a fleet started
    // all at once spreads its check-ins over the period).
    void deferFirst(qint64 ms) { m_firstAfterMs = ms; }
    bool due() const;
    // One try; a server that answered (without the tables, say) is asked again a period later, one
    // that gave no answer at the next chance.
    WriteOutcome write(Connection& connection);

    const WorkstationIdentity& identity() const { return m_identity; }
    qint64 written() const { return m_written; }
    // The way in for every write of this workstation.
    WriteDoors& doors() { return m_doors; }

    static QString call();
    // The direct statement, for a database without the procedure.
    static QString statement();

private:
    WorkstationIdentity m_identity;
    QString m_version;
    AudioState m_audio;
    WakeState m_wake;
    QStringList m_unreadable;
    // Whether the last wake-up line written said connected: a change is worth a check-in at the
    // next chance rather than a minute later.
    std::optional<bool> m_wakeConnectedWritten;
    QElapsedTimer m_last; // invalid until the first one
    qint64 m_firstAfterMs = 0;
    QElapsedTimer m_started;
    std::optional<Failure> m_lastPollFailure;
    QElapsedTimer m_lastPollFailureAt;
    qint64 m_written = 0;
    WriteDoors m_doors;
};

} // namespace hv
