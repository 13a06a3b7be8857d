#pragma once

#include "AudioState.h"
#include "DatabaseAccess.h"
#include "Failure.h"
#include "Handler.h"
#include "PollSnapshot.h"
#include "RingReport.h"
#include "ServerList.h"
#include "TrayFailures.h"
#include "TrayPorts.h"
#include "WakeState.h"
#include "alerts/LiveAlerts.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QWidget;

namespace hv {

class AudioWorker;
class DatabaseWorker;
class JobQueue;
struct WakeMessage;

// The poll behind Form1's Timer1, as the window thread sees it. The database part (the tooltip
// read at start and every poll) runs on one long-lived database thread and the ring on an audio
// thread, so that the window thread never waits for the server or for a sound: the popup is shown
// here and is on screen while the ring plays. What each poll found goes into the live-alert
// picture, which decides what the popup shows, whether to ring and speak, and what the workstation
// owes the delivery tables; those writes go to the database thread right after a ring or a close,
// and ride on the next poll's connection when they could not be written. A poll lasts from its
// tick until its ring has ended; a tick that arrives meanwhile is dropped, so polls never overlap.
// Rings play one after the other: an alert that comes while "Test Sound" rings rings after it.
// Messages of the wake-up channel go into the same picture the moment they come: the popup and the
// ring at once, without a poll (a fleet woken in one second must not poll in that second); their
// receipts ride on the next poll.
class Poller : public QObject {
    Q_OBJECT
public:
    // How long the end of the program waits for work under way before it leaves it behind.
    static constexpr int ShutdownMs = 1000;

    Poller(PopupPort& popup, std::unique_ptr<RingPort> ring, QWidget* caller, QObject* parent = nullptr);
    ~Poller() override;

    // The database servers and the tray client's account, given before the first poll; the poll
    // remembers which node last worked across polls.
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
    qint64 intLastID() const { return m_alerts.intLastID(); }
    const LiveAlerts& liveAlerts() const { return m_alerts; }

    // How the voice that reads new alerts aloud is made (on the audio thread, when first needed);
    // without it nothing is read aloud. Words come after the alert's ring, when the site has
    // turned reading aloud on.
    void setVoice(VoiceFactory makeVoice);

    // What the wake-up channel says of itself, for the check-ins; unset, the workstation has none.
    void setWakeState(std::function<WakeState()> state);

    // The ring of the "Test Sound" item; ignored while a ring plays or waits to play.
    void testSound();
    // No poll, read or ring starts after this.
    void halt();
    // Halts, cuts a ring short (so that volume and mute are put back at once) and waits for the
    // work under way until the deadline. False when some of it was left behind to end on its own.
    bool shutdown(QDeadlineTimer deadline = QDeadlineTimer(ShutdownMs));

public slots:
    void tick();
    // A message of the wake-up channel, checked already: an alert to show, or a cancellation.
    void woken(const hv::WakeMessage& message);

signals:
    void pollStarted();
    void pollEnded();
    void tooltipRead(const QString& text);

private:
    std::shared_ptr<DatabaseWorker> database();
    void onPolled(const PollSnapshot& s);
    // Puts the popup in line with the picture, and rings and speaks for what is new. True when a
    // ring was asked for.
    bool present(const LiveAlerts::Showing& show, Handler& h);
    void onTooltipRead(const TooltipResult& t);
    void onRang(int ticket, const RingReport& report);
    void onClosedByUser();
    void onFullScreenClosed(const AlertKey& key, const QString& answer);
    void ringAgainIfDue();
    void writeOwed();
    int playRing(TrayOperation op);
    void endPoll();
    Reaction react(TrayOperation op, const Failure& f);

    PopupPort& m_popup;
    QWidget* m_caller;
    ServerList m_servers;
    DatabaseAccess m_access;
    FailureReaction m_react;
    std::unique_ptr<JobQueue> m_databaseQueue;
    std::unique_ptr<JobQueue> m_audioQueue;
    // Made with the servers at the first piece of database work; used only on its thread.
    std::shared_ptr<DatabaseWorker> m_database;
    std::shared_ptr<AudioWorker> m_audio;
    LiveAlerts m_alerts;
    // Watches the alerts that ring until they are answered.
    QTimer* m_ringAgain;
    bool m_halted = false;
    bool m_busy = false;
    bool m_tooltipPending = false;
    int m_startReads = 0;   // start-up reads whose answer has not come back
    int m_ringsWaiting = 0; // asked for and not yet ended
    int m_pollRing = 0;     // the ticket of the running poll's ring; 0 when it has none
    int m_nextTicket = 0;
    int m_ticks = 0;
    // What the next check-in says of the audio; asked of the audio thread about once a minute.
    AudioState m_audioState;
    std::function<WakeState()> m_wakeState;
};

} // namespace hv
