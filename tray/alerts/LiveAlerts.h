#pragma once

#include "DeliveryWrites.h"
#include "PollSnapshot.h"
#include "RingReport.h"
#include "ShownAlert.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <map>
#include <optional>

namespace hv {

// What one workstation knows of the alerts that concern it: per alert, what the last poll found,
// whether it is on screen, whether it rang and was read aloud, whether the user closed it, whether
// it was cancelled, and which of its delivery writes are still owed. A poll's snapshot goes in;
// out come what the popup shows, whether to ring and what to say, and what to write back. An
// alert is forgotten once it has left its window and nothing is owed for it any more. Lives on the
// window thread; pure logic, no window, no database.
class LiveAlerts {
public:
    // Writes kept for a server that cannot be reached; the oldest go first.
    static constexpr int MaxPending = 500;
    // How often a write the server refused is asked again before it is given up.
    static constexpr int MaxRefusals = 10;

    // What the window does after a poll.
    struct Showing {
        // How many alerts the popup shows (none: no popup), and its text, one block per alert in
        // ID order.
        int alerts = 0;
        QString text;
        // A new alert is among them: the ring plays, and their receipts follow it.
        bool ring = false;
        // What the new alerts say, for reading aloud after the ring where the site has that on.
        QString words;
    };
    // A poll. One that did not read the database (server lost, statement refused) changes nothing
    // of what is known, and shows nothing.
    Showing polled(const PollSnapshot& snapshot);
    // The ring that the last poll's new alerts asked for has the ticket; when it has ended, their
    // receipts are owed with its report. True when writes became owed.
    void ringing(int ticket);
    bool rang(int ticket, const RingReport& report);
    // The user closed the popup that showed the alerts of the last poll. True when writes became owed.
    bool closedByUser();

    // The writes owed now, marked as on their way; those the server refused before go only once a
    // check-in period.
    struct Batch {
        QList<AlertKey> receiptKeys;
        QList<ReceiptWrite> receipts;
        QList<AlertKey> closeKeys;
        QList<CloseWrite> closes;
        bool isEmpty() const { return receipts.isEmpty() && closes.isEmpty(); }
    };
    Batch takeOwed();
    // How they went: the receipts' one statement (unset: not tried) and each close in order (the
    // list ends where the writing stopped).
    struct BatchResult {
        std::optional<WriteOutcome> receipts;
        QList<WriteOutcome> closes;
    };
    void written(const Batch& batch, const BatchResult& result);

    qint64 intLastID() const { return m_lastID; }
    // The alerts the popup shows now.
    QList<ShownAlert> onScreen() const;
    // Writes owed or on their way.
    int pending() const;

private:
    enum class Write { None, AwaitingRing, Owed, InFlight, Done };
    struct Entry {
        PolledAlert polled;
        bool live = false;      // current in the last poll that read the database
        bool cancelled = false; // once seen, for as long as it stays current
        bool onScreen = false;
        bool rung = false; // shown and rung while it stayed in view
        bool spoken = false;
        bool closed = false;
        int ringTicket = 0;
        Write receipt = Write::None;
        Write close = Write::None;
        int receiptRefusals = 0;
        int closeRefusals = 0;
        QElapsedTimer shownAt, rangAt, closedAt;
        RingReport ring;
    };
    static ShownAlert shownAlert(const Entry& e);
    bool refusedRoundDue() const;
    static void settle(Write& state, int& refusals, std::optional<WriteOutcome> outcome, bool& refusedNow);
    void forgetSettled();
    void trim();

    std::map<AlertKey, Entry> m_alerts;
    qint64 m_lastID = 0;
    QElapsedTimer m_lastRefusedRound;
};

} // namespace hv
