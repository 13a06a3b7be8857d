#include "poll/Poller.h"

#include "JobQueue.h"
#include "SiteFacts.h"
#include "WakeMessage.h"
#include "poll/DatabaseWorker.h"
#include "ring/AudioWorker.h"

#include <QPointer>
#include <QWidget>

namespace hv {

Poller::Poller(PopupPort& popup, std::unique_ptr<RingPort> ring, QWidget* caller, QObject* parent)
    : QObject(parent), m_popup(popup), m_caller(caller),
      m_databaseQueue(std::make_unique<JobQueue>(QStringLiteral("Morvik database"))),
      m_audioQueue(std::make_unique<JobQueue>(QStringLiteral("Morvik audio"))) {
    // Asked here, before the ring moves to its thread, so that the first check-in knows it.
    m_audioState = ring->audioState();
    const JobQueue::Replies replies = m_audioQueue->replies();
    // Each answer reaches this poller only while it lives; `this` is not touched before.
    const QPointer<QObject> self(this);
    m_audio =
        std::make_shared<AudioWorker>(std::move(ring), [this, replies, self](int ticket, const RingReport& report) {
            replies(self, [this, ticket, report] { onRang(ticket, report); });
        });
    m_popup.setClosedByUser([this] { onClosedByUser(); });
    m_popup.setFullScreenClosed(
        [this](const AlertKey& key, const QString& answer) { onFullScreenClosed(key, answer); });
    m_ringAgain = new QTimer(this);
    m_ringAgain->setInterval(1000);
    connect(m_ringAgain, &QTimer::timeout, this, &Poller::ringAgainIfDue);
}

Poller::~Poller() {
    m_popup.setClosedByUser({});
    m_popup.setFullScreenClosed({});
    shutdown();
}

void Poller::halt() {
    m_halted = true;
    m_ringAgain->stop();
}

bool Poller::shutdown(QDeadlineTimer deadline) {
    halt();
    if (m_databaseQueue->stopped() && m_audioQueue->stopped()) return true;
    // Both are asked first so that they wind down side by side within the one deadline.
    if (m_audio) m_audio->interrupt();
    m_databaseQueue->requestStop();
    m_audioQueue->requestStop();
    const bool database = m_databaseQueue->stop(deadline);
    const bool audio = m_audioQueue->stop(deadline);
    // The ring (and with it the mixer) goes with its thread; a ring left playing keeps it until it
    // returns there.
    m_audio.reset();
    m_database.reset();
    return database && audio;
}

std::shared_ptr<DatabaseWorker> Poller::database() {
    if (!m_database && !m_databaseQueue->stopped()) m_database = std::make_shared<DatabaseWorker>(m_servers, m_access);
    return m_database;
}

Reaction Poller::react(TrayOperation op, const Failure& f) {
    if (TrayFailures::rule(op, f.number()).outcome == TrayOutcome::EndProgram) halt();
    return m_react ? m_react(op, f) : TrayFailures::reaction(op, f);
}

void Poller::readTooltipAtStart() {
    if (m_halted) return;
    m_tooltipPending = true;
    ++m_startReads;
    const std::shared_ptr<DatabaseWorker> db = database();
    const AudioState audio = m_audioState;
    const WakeState wake = m_wakeState ? m_wakeState() : WakeState();
    m_databaseQueue->post<TooltipResult>(
        this, [db, audio, wake] { return db->readTooltip(audio, wake); },
        [this](const JobResult<TooltipResult>& r) {
            TooltipResult t = r.value;
            if (r.failure) t.failure = r.failure;
            onTooltipRead(t);
        });
}

void Poller::tick() {
    if (m_busy || m_halted) return;
    m_busy = true;
    emit pollStarted();
    const std::shared_ptr<DatabaseWorker> db = database();
    const bool withTooltip = m_tooltipPending;
    const AudioState audio = m_audioState;
    WakeState wake = m_wakeState ? m_wakeState() : WakeState();
    wake.unconfirmed = m_alerts.unconfirmed();
    m_alerts.pollStarting();
    const LiveAlerts::Batch owed = m_alerts.takeOwed(true);
    const JobQueue::Replies replies = m_databaseQueue->replies();
    const QPointer<QObject> self(this);
    m_databaseQueue->post([this, db, withTooltip, audio, wake, owed, replies, self] {
        bool answered = false;
        DatabaseWorker::PollAnswers answers;
        answers.alerts = [&](const PollSnapshot& s) {
            answered = true;
            replies(self, [this, s] { onPolled(s); });
        };
        answers.tooltip = [&](const TooltipResult& t) { replies(self, [this, t] { onTooltipRead(t); }); };
        answers.written = [&](const LiveAlerts::BatchResult& r) {
            replies(self, [this, owed, r] { m_alerts.written(owed, r); });
        };
        try {
            db->poll(withTooltip, audio, wake, owed, answers);
        } catch (...) {
            // Whatever went wrong, the poll must end, or the timer's next ticks would all be dropped.
            if (!answered) answers.alerts(PollSnapshot());
            answers.written({});
        }
    });
    // The audio for the check-in about a minute from now.
    if (++m_ticks % site::kPollsPerCheckIn == 0) {
        const std::shared_ptr<AudioWorker> worker = m_audio;
        m_audioQueue->post<AudioState>(
            this, [worker] { return worker->probe(); },
            [this](const JobResult<AudioState>& r) {
                if (!r.failure) m_audioState = r.value;
            });
    }
}

void Poller::onPolled(const PollSnapshot& s) {
    if (m_halted) {
        endPoll();
        return;
    }
    bool ringing = false;
    Handler h([this](const Failure& f) { return react(TrayOperation::Poll, f); });
    h.run([&] {
        const LiveAlerts::Showing show = m_alerts.polled(s);
        // What came by wake-up stays on screen through a poll that did not reach the database;
        // the failure is then handled as always.
        ringing = present(show, h);
        if (s.failure) throw *s.failure;
    });
    if (ringing)
        m_pollRing = m_nextTicket;
    else
        endPoll();
}

bool Poller::present(const LiveAlerts::Showing& show, Handler& h) {
    h.step([&] { m_popup.closePopup(); });
    if (!show.blocks.isEmpty()) h.step([&] { m_popup.showBlocks(show.blocks, m_caller); });
    // After the balloon, so that the emergency lies above it.
    if (show.fullScreen.isEmpty())
        h.step([&] { m_popup.closeFullScreen(); });
    else
        h.step([&] { m_popup.showFullScreen(show.fullScreen.front(), int(show.fullScreen.size() - 1), m_caller); });
    if (m_alerts.ringsUntilAnswered() && !m_halted)
        m_ringAgain->start();
    else
        m_ringAgain->stop();
    if (show.alerts == 0) return false;
    // The popup is already up: the window thread paints it while the audio thread rings.
    if (!show.ring || m_halted) return false;
    const int ticket = playRing(TrayOperation::Poll);
    m_alerts.ringing(ticket);
    if (!show.words.isEmpty()) {
        // Queued behind the ring just asked for: the words follow it.
        const std::shared_ptr<AudioWorker> worker = m_audio;
        m_audioQueue->post([worker, words = show.words] { worker->speak(words); });
    }
    return true;
}

void Poller::woken(const WakeMessage& message) {
    if (m_halted) return;
    LiveAlerts::Showing show;
    if (message.kind == WakeMessage::Kind::Alert) {
        PolledAlert a;
        a.key = {message.id, message.codeDate, message.codeTime};
        a.codeName = message.codeName;
        a.codeLocation = message.codeLocation;
        a.codeMessage = message.codeMessage;
        a.comments = message.comments;
        if (message.presentation) a.presentation = *message.presentation;
        show = m_alerts.woken(a);
    } else {
        show = m_alerts.cancelWoken({message.id, message.codeDate, message.codeTime});
    }
    if (!show.changed) return;
    Handler h([this](const Failure& f) { return react(TrayOperation::Poll, f); });
    h.run([&] { present(show, h); });
}

void Poller::setWakeState(std::function<WakeState()> state) {
    m_wakeState = std::move(state);
    m_alerts.setWakeChannel(bool(m_wakeState));
}

void Poller::onTooltipRead(const TooltipResult& t) {
    const TrayOperation op = m_startReads > 0 ? TrayOperation::StartUp : TrayOperation::Poll;
    if (m_startReads > 0) --m_startReads;
    if (m_halted) return;
    if (t.answered) {
        m_tooltipPending = false;
        if (!t.failure) emit tooltipRead(t.text);
    }
    if (t.failure) {
        Handler h([this, op](const Failure& f) { return react(op, f); });
        h.run([&] { h.step([&] { throw *t.failure; }); });
    }
}

void Poller::setVoice(VoiceFactory makeVoice) {
    const std::shared_ptr<AudioWorker> worker = m_audio;
    m_audioQueue->post([worker, makeVoice] { worker->setVoiceFactory(makeVoice); });
}

int Poller::playRing(TrayOperation op) {
    const int ticket = ++m_nextTicket;
    ++m_ringsWaiting;
    const std::shared_ptr<AudioWorker> worker = m_audio;
    m_audioQueue->post([worker, ticket, op] { worker->ring(ticket, op); });
    return ticket;
}

void Poller::onRang(int ticket, const RingReport& report) {
    --m_ringsWaiting;
    // The receipts of the alerts that rang go as soon as the ring has ended, so that they say how
    // it went.
    if (m_alerts.rang(ticket, report) && !m_halted) writeOwed();
    if (ticket == m_pollRing) {
        m_pollRing = 0;
        endPoll();
    }
}

void Poller::onClosedByUser() {
    if (m_halted) return;
    if (m_alerts.closedByUser()) writeOwed();
}

void Poller::onFullScreenClosed(const AlertKey& key, const QString& answer) {
    if (m_halted) return;
    const LiveAlerts::Showing show = m_alerts.fullScreenClosed(key, answer);
    if (!show.changed) return;
    Handler h([this](const Failure& f) { return react(TrayOperation::Poll, f); });
    h.run([&] { present(show, h); });
    writeOwed();
}

void Poller::ringAgainIfDue() {
    if (m_halted || !m_alerts.ringsUntilAnswered()) {
        m_ringAgain->stop();
        return;
    }
    // Not over a ring that plays or waits to play; the next second asks again.
    if (m_ringsWaiting == 0 && m_alerts.ringAgainDue()) playRing(TrayOperation::Poll);
}

void Poller::writeOwed() {
    const LiveAlerts::Batch owed = m_alerts.takeOwed(false);
    const std::shared_ptr<DatabaseWorker> db = database();
    m_databaseQueue->post<LiveAlerts::BatchResult>(
        this, [db, owed] { return db->writeNow(owed); },
        [this, owed](const JobResult<LiveAlerts::BatchResult>& r) { m_alerts.written(owed, r.value); });
}

void Poller::endPoll() {
    if (!m_busy) return;
    m_busy = false;
    emit pollEnded();
}

void Poller::testSound() {
    if (m_halted || m_ringsWaiting > 0) return;
    playRing(TrayOperation::TestSound);
}

} // namespace hv
