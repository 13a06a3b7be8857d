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
// it was cancelled, and which of its delivery writes are still owed. A poll's snapshot goes in, and
// so do the messages of the wake-up channel; out come what the popup shows, whether to ring and
// what to say, and what to write back. An alert is forgotten once it has left its window and
// nothing is owed for it any more. Lives on the window thread; pure logic, no window, no database.
//
// The database has the last word. An alert that came by wake-up is shown and rung at once, by the
// same rules as a poll's (one ring per alert, the same text); two polls that reached the database
// after it came and do not show it take it down, and it counts as unconfirmed. A cancellation by
// wake-up closes its alert at once; two polls that show the alert not cancelled put it back
// (without a second ring). A poll that does not reach the database takes down nothing that came
// by wake-up, for as long as it could be current. The receipt of an alert that came by wake-up
// rides on a later poll's connection, and only one whose poll found the alert in the database.
class LiveAlerts {
public:
    // Writes kept for a server that cannot be reached; the oldest go first.
    static constexpr int MaxPending = 500;
    // How often a write the server refused is asked again before it is given up.
    static constexpr int MaxRefusals = 10;

    // What the window does after a poll.
    struct Showing {
        // How many alerts the popup shows (none: no popup), and its text, one block per alert,
        // the newest (highest ID) first.
        int alerts = 0;
        QString text;
        QStringList blocks;
        // The alerts presented over the whole screen, newest first, and not in the balloon: each
        // until it is answered (or, offering no answers, closed), then in the balloon like the rest.
        QList<PolledAlert> fullScreen;
        // A new alert is among them: the ring plays, and their receipts follow it.
        bool ring = false;
        // What the new alerts say, for reading aloud after the ring where the site has that on.
        QString words;
        // The popup's content may have changed (a poll always rebuilds it).
        bool changed = true;
    };
    // A poll. One that did not read the database (server lost, statement refused) changes nothing
    // of what is known, and shows nothing.
    Showing polled(const PollSnapshot& snapshot);
    // A poll is about to ask the database: what comes by wake-up after this, that poll cannot show.
    void pollStarting() { ++m_pollGeneration; }
    // An alert by wake-up: shown and rung at once unless it is known already (a second copy, or
    // one a poll has shown).
    Showing woken(const PolledAlert& alert);
    // A cancellation by wake-up: the alert closes at once.
    Showing cancelWoken(const AlertKey& key);
    // With a wake-up channel, each receipt says how its alert came.
    void setWakeChannel(bool on) { m_wakeChannel = on; }
    // Alerts that came by wake-up and that the database did not hold.
    qint64 unconfirmed() const { return m_unconfirmed; }
    // The ring that the last poll's new alerts asked for has the ticket; when it has ended, their
    // receipts are owed with its report. True when writes became owed.
    void ringing(int ticket);
    bool rang(int ticket, const RingReport& report);
    // The user closed the popup that showed the alerts of the last poll. True when writes became owed.
    bool closedByUser();
    // The user closed the full-screen alert: with one of its answers, or (offering none) with a
    // click. It then shows in the balloon; it rings no more, and the answer is owed.
    Showing fullScreenClosed(const AlertKey& key, const QString& answer);
    // An alert that rings until answered is on screen, unanswered, and its last ring began long
    // enough ago: it rings again (true), and the next is due that long after.
    bool ringAgainDue();
    // Whether some alert on screen rings until it is answered, so that the time is watched.
    bool ringsUntilAnswered() const;

    // The writes owed now, marked as on their way; those the server refused before go only once a
    // check-in period. Receipts of alerts that came by wake-up go only with a poll (forPoll), so
    // that a fleet woken in one second writes them over the poll interval, not in that second.
    struct Batch {
        QList<AlertKey> receiptKeys;
        QList<ReceiptWrite> receipts;
        QList<AlertKey> closeKeys;
        QList<CloseWrite> closes;
        QList<AlertKey> answerKeys;
        QList<AnswerWrite> answers;
        bool isEmpty() const { return receipts.isEmpty() && closes.isEmpty() && answers.isEmpty(); }
    };
    Batch takeOwed(bool forPoll = true);
    // How they went: the receipts' one statement (unset: not tried), each close in order (the
    // list ends where the writing stopped), and the receipts held back because the poll did not
    // find their alert (yet).
    struct BatchResult {
        std::optional<WriteOutcome> receipts;
        QList<WriteOutcome> closes;
        QList<AlertKey> unconfirmed = {};
        QList<WriteOutcome> answers = {};
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
        bool live = false;      // current in the last poll that read the database, or woken since
        bool cancelled = false; // once seen, for as long as it stays current
        // By wake-up: when it came (invalid: it came by poll) and in the time of which poll.
        QElapsedTimer wokenAt;
        int wokenInPoll = 0;
        bool confirmed = false; // a poll that reached the database showed it
        int missedPolls = 0;    // polls that reached the database after it came and did not show it
        bool refuted = false;   // taken down for that; kept until it could no longer be current
        // Cancelled by wake-up, and how many polls since have shown it not cancelled.
        bool cancelWoken = false;
        int cancelWokenInPoll = 0;
        int cancelDenials = 0;
        bool onScreen = false;
        bool rung = false; // shown and rung while it stayed in view
        bool spoken = false;
        bool closed = false;
        bool inBalloon = false;
        // Full screen: answered, or closed without answers; from then on in the balloon.
        bool fullScreenDone = false;
        QString answer;
        QElapsedTimer answeredAt;
        Write answerWrite = Write::None;
        int answerRefusals = 0;
        QElapsedTimer lastRingAt;
        int ringTicket = 0;
        Write receipt = Write::None;
        Write close = Write::None;
        int receiptRefusals = 0;
        int closeRefusals = 0;
        QElapsedTimer shownAt, rangAt, closedAt;
        RingReport ring;
    };
    static ShownAlert shownAlert(const Entry& e);
    static bool wakeExpired(const Entry& e);
    // Rings again in its time: it rings until answered and nobody has answered or closed it.
    static bool awaitsAnswer(const Entry& e);
    bool visible(const Entry& e) const;
    // The popup as the picture stands, with a ring (and words) for what is shown for the first time.
    Showing showing();
    bool refusedRoundDue() const;
    static void settle(Write& state, int& refusals, std::optional<WriteOutcome> outcome, bool& refusedNow);
    void forgetSettled();
    void trim();

    std::map<AlertKey, Entry> m_alerts;
    qint64 m_lastID = 0;
    // Whether the last poll reached the database; until one does, only what came by wake-up shows.
    bool m_reached = true;
    std::optional<bool> m_readAloud;
    int m_pollGeneration = 0;
    bool m_wakeChannel = false;
    qint64 m_unconfirmed = 0;
    QElapsedTimer m_lastRefusedRound;
};

} // namespace hv
