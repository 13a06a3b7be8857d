#pragma once

#include "AudioState.h"
#include "Failure.h"
#include "Handler.h"
#include "RingReport.h"
#include "ServerList.h"
#include "TrayFailures.h"
#include "TrayPorts.h"
#include "TrayStore.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace hv {

class AudioWorker;
class DatabaseWorker;
class WorkerThread;

// The poll behind Form1's Timer1, as the window thread sees it. The database part (the tooltip
// read at start and every poll) runs on one long-lived worker thread and the ring on an audio
// thread, so that the window thread never waits for the server or for a sound: the popup is
// shown here and is on screen while the ring plays. A poll lasts from its tick until its ring
// has ended; a tick that arrives meanwhile is dropped, so polls never overlap. Rings play one
// after the other: an alert that comes while "Test Sound" rings rings after it. Once a poll's
// ring has ended, the database thread writes the receipts of the alerts it showed first; the
// user's closing of the popup is written there too, and a check-in rides on a poll about once a
// minute. None of that is waited for here.
class Poller : public QObject {
    Q_OBJECT
public:
    // How long the end of the program waits for work under way before it leaves it behind.
    static constexpr int ShutdownMs = 1000;

    Poller(PopupPort& popup, std::unique_ptr<RingPort> ring, QWidget* caller, QObject* parent = nullptr);
    ~Poller() override;

    // The database servers; the poll remembers which node last worked across polls.
    void setServers(const ServerList& servers) { m_servers = servers; }
    void setAccess(const DatabaseAccess& access) { m_access = access; }
    // What a failure does beyond the table's reaction: the window shows the boxes and ends the
    // program. Without it the poller only goes on or ends the operation as the table says.
    using FailureReaction = std::function<Reaction(TrayOperation, const Failure&)>;
    void setFailureReaction(FailureReaction fn) { m_react = std::move(fn); }

    // The start-up read of the tooltip text; until it gets an answer, each poll reads it too.
    void readTooltipAtStart();
    bool tooltipPending() const { return m_tooltipPending; }

    bool isBusy() const { return m_busy; }
    qint64 intLastID() const { return m_lastID; }

    // How the voice that reads new alerts aloud is made (on the audio thread, when first needed);
    // without it nothing is read aloud. Words come after the alert's ring, when the site has
    // turned reading aloud on.
    void setVoice(VoiceFactory makeVoice);

    // The ring of the "Test Sound" item; ignored while a ring plays or waits to play.
    void testSound();
    // No poll, read or ring starts after this.
    void halt();
    // Halts, cuts a ring short (so that volume and mute are put back at once) and waits for the
    // work under way until the deadline. False when some of it was left behind to end on its own.
    bool shutdown(QDeadlineTimer deadline = QDeadlineTimer(ShutdownMs));

public slots:
    void tick();

signals:
    void pollStarted();
    void pollEnded();
    void tooltipRead(const QString& text);

private:
    void onAlertsRead(const hv::PollResult& r);
    void onTooltipRead(const hv::TooltipResult& t);
    void onReadAloudRead(bool on);
    void onRang(int ticket, const hv::RingReport& report);
    void onClosedByUser();
    int playRing(TrayOperation op);
    void endPoll();
    Reaction react(TrayOperation op, const Failure& f);

    PopupPort& m_popup;
    QWidget* m_caller;
    ServerList m_servers;
    DatabaseAccess m_access;
    FailureReaction m_react;
    std::unique_ptr<WorkerThread> m_database;
    std::unique_ptr<WorkerThread> m_audio;
    DatabaseWorker* m_databaseWorker;
    AudioWorker* m_audioWorker;
    bool m_halted = false;
    bool m_busy = false;
    bool m_tooltipPending = false;
    int m_startReads = 0;   // start-up reads whose answer has not come back
    int m_ringsWaiting = 0; // asked for and not yet ended
    int m_pollRing = 0;     // the ticket of the running poll's ring; 0 when it has none
    int m_nextTicket = 0;
    qint64 m_lastID = 0;
    // The alerts already rung for, among those still in the window.
    QSet<qint64> m_rungIDs;
    // What the next check-in says of the audio; asked of the audio thread about once a minute.
    AudioState m_audioState;
    int m_ticks = 0;
    // The alerts the running poll showed first, waiting for their ring to end.
    struct FirstShown {
        int ticket = 0;
        QList<ShownAlert> alerts;
        QElapsedTimer shownAt;
    };
    std::optional<FirstShown> m_firstShown;
    // The alerts the popup shows now.
    QList<ShownAlert> m_onScreen;
    // What the alerts that have just rung for the first time say, until the poll has read whether
    // they are to be read aloud.
    QString m_toSpeak;
};

} // namespace hv
