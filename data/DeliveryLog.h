#pragma once

#include "AudioState.h"
#include "DatabaseAccess.h"
#include "Failure.h"
#include "RingReport.h"
#include "ServerList.h"
#include "ShownAlert.h"
#include "WorkstationIdentity.h"

#include <QElapsedTimer>
#include <QList>
#include <QSet>
#include <QString>
#include <optional>

namespace hv {

class Connection;

// What this workstation owes the delivery tables: a receipt for every alert it showed, the
// moment the user closed the popup, and a check-in about once a minute. Lives on the database
// thread. Nothing here can cost an alert: it writes after the popup and the ring, every statement
// is bounded, a failure is never shown and never thrown, and what could not be written is tried
// again at most once per poll. A server that answers with an error of its own (no delivery tables,
// no rights) is asked again only once a check-in period, and a receipt it keeps refusing is given
// up after a while, so that a database without the tables sees no more than a statement a minute.
class DeliveryLog {
public:
    // Receipts and closes kept for a server that cannot be reached; the oldest go first.
    static constexpr int MaxPending = 500;
    // How often a receipt the server refused is asked again before it is given up.
    static constexpr int MaxRefusals = 10;

    DeliveryLog(WorkstationIdentity identity, QString programVersion);

    // The alerts that a poll showed for the first time, the moment the popup went up, and the ring
    // that followed with the moment it ended.
    void shown(const QList<ShownAlert>& alerts, const QElapsedTimer& shownAt, const RingReport& ring,
               const QElapsedTimer& rangAt);
    // The user closed the popup that showed these alerts.
    void closed(const QList<ShownAlert>& alerts, const QElapsedTimer& closedAt);
    void setAudioState(const AudioState& state) { m_audio = state; }
    // A poll failed: the next check-in says so.
    void pollFailed(const Failure& failure);

    // Writes what is owed on a connection that is already open (a poll's, after its alerts have
    // gone to the window): receipts, closes, then the check-in when it is due. One try each.
    void writeOn(Connection& connection);
    // The same on a connection of its own, when anything is owed (right after a ring or a close),
    // with the tray client's account and TLS.
    void writeNow(const ServerList& servers, const DatabaseAccess& access = {});

    bool checkInDue() const;
    // The first check-in waits this long instead of going with the first chance (a fleet started
    // all at once spreads its check-ins over the period).
    void deferFirstCheckIn(qint64 ms);
    int pending() const { return int(m_receipts.size() + m_closes.size()); }
    qint64 receiptsWritten() const { return m_receiptsWritten; }
    qint64 checkInsWritten() const { return m_checkInsWritten; }

    // The statements, as sent (each behind the server's time bound).
    static QString checkInStatement();
    static QString receiptStatement(int rows);
    static QString closeStatement();

private:
    struct Receipt {
        ShownAlert alert;
        QElapsedTimer shownAt;
        RingReport ring;
        QElapsedTimer rangAt;
        QElapsedTimer closedAt;
        int refusals = 0;
    };
    struct Close {
        ShownAlert alert;
        QElapsedTimer closedAt;
        int refusals = 0;
    };
    enum class Outcome { Written, Refused, Lost };

    Outcome run(Connection& connection, const QString& statement, const QVariantList& binds);
    bool writeReceipts(Connection& connection);
    bool writeCloses(Connection& connection);
    void checkIn(Connection& connection);
    bool refusedRoundDue() const;
    void trim();

    WorkstationIdentity m_identity;
    QString m_version;
    AudioState m_audio;
    QList<Receipt> m_receipts;
    QList<Close> m_closes;
    // Alerts whose close has been recorded, so that closing the popup again sends nothing.
    QSet<QString> m_closedKeys;
    QElapsedTimer m_lastCheckIn; // invalid until the first one
    qint64 m_firstCheckInAfterMs = 0;
    QElapsedTimer m_started;
    QElapsedTimer m_lastRefusedRound;
    std::optional<Failure> m_lastPollFailure;
    QElapsedTimer m_lastPollFailureAt;
    qint64 m_receiptsWritten = 0;
    qint64 m_checkInsWritten = 0;
};

} // namespace hv
