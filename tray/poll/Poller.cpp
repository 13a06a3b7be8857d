#include "poll/Poller.h"

#include "SiteFacts.h"
#include "WorkerThread.h"
#include "poll/DatabaseWorker.h"
#include "ring/AudioWorker.h"

#include <QWidget>
#include <algorithm>

namespace hv {

Poller::Poller(PopupPort& popup, std::unique_ptr<RingPort> ring, QWidget* caller, QObject* parent)
    : QObject(parent), m_popup(popup), m_caller(caller), m_databaseWorker(new DatabaseWorker) {
    // Asked here, before the ring moves to its thread, so that the first check-in knows it.
    m_audioState = ring->audioState();
    m_audioWorker = new AudioWorker(std::move(ring));
    connect(m_databaseWorker, &DatabaseWorker::alertsRead, this, &Poller::onAlertsRead, Qt::QueuedConnection);
    connect(m_databaseWorker, &DatabaseWorker::tooltipRead, this, &Poller::onTooltipRead, Qt::QueuedConnection);
    connect(m_databaseWorker, &DatabaseWorker::readAloudRead, this, &Poller::onReadAloudRead, Qt::QueuedConnection);
    connect(m_audioWorker, &AudioWorker::rang, this, &Poller::onRang, Qt::QueuedConnection);
    connect(
        m_audioWorker, &AudioWorker::audioState, this, [this](const AudioState& state) { m_audioState = state; },
        Qt::QueuedConnection);
    m_popup.setClosedByUser([this] { onClosedByUser(); });
    m_database = std::make_unique<WorkerThread>(m_databaseWorker, QStringLiteral("Morvik database"));
    m_audio = std::make_unique<WorkerThread>(m_audioWorker, QStringLiteral("Morvik audio"));
}

Poller::~Poller() {
    m_popup.setClosedByUser({});
    shutdown();
}

void Poller::halt() {
    m_halted = true;
}

bool Poller::shutdown(QDeadlineTimer deadline) {
    halt();
    if (m_database->stopped() && m_audio->stopped()) return true;
    // Both are asked first so that they wind down side by side within the one deadline.
    if (!m_audio->stopped()) m_audioWorker->interrupt();
    m_database->requestStop();
    m_audio->requestStop();
    const bool database = m_database->stop(deadline);
    const bool audio = m_audio->stop(deadline);
    m_databaseWorker = nullptr;
    m_audioWorker = nullptr;
    return database && audio;
}

Reaction Poller::react(TrayOperation op, const Failure& f) {
    if (TrayFailures::rule(op, f.number()).outcome == TrayOutcome::EndProgram) halt();
    return m_react ? m_react(op, f) : TrayFailures::reaction(op, f);
}

void Poller::readTooltipAtStart() {
    if (m_halted) return;
    m_tooltipPending = true;
    ++m_startReads;
    DatabaseWorker* worker = m_databaseWorker;
    const ServerList servers = m_servers;
    const DatabaseAccess access = m_access;
    const AudioState audio = m_audioState;
    QMetaObject::invokeMethod(
        worker, [worker, servers, access, audio] { worker->readTooltip(servers, access, audio); },
        Qt::QueuedConnection);
}

void Poller::tick() {
    if (m_busy || m_halted) return;
    m_busy = true;
    emit pollStarted();
    DatabaseWorker* worker = m_databaseWorker;
    const ServerList servers = m_servers;
    const DatabaseAccess access = m_access;
    const bool withTooltip = m_tooltipPending;
    const AudioState audio = m_audioState;
    QMetaObject::invokeMethod(
        worker, [worker, servers, access, withTooltip, audio] { worker->poll(servers, access, withTooltip, audio); },
        Qt::QueuedConnection);
    // The audio for the check-in about a minute from now.
    if (++m_ticks % site::kPollsPerCheckIn == 0) {
        AudioWorker* audioWorker = m_audioWorker;
        QMetaObject::invokeMethod(
            audioWorker, [audioWorker] { audioWorker->probe(); }, Qt::QueuedConnection);
    }
}

void Poller::onAlertsRead(const PollResult& r) {
    if (m_halted) {
        endPoll();
        return;
    }
    bool ringing = false;
    m_toSpeak.clear();
    Handler h([this](const Failure& f) { return react(TrayOperation::Poll, f); });
    h.run([&] {
        h.step([&] { m_popup.closePopup(); });
        m_onScreen.clear();
        if (r.failure) throw *r.failure;
        if (!r.statementRan) return;
        if (r.ids.isEmpty()) {
            m_rungIDs.clear();
            return;
        }
        m_lastID = r.ids.last();
        FirstShown first;
        h.step([&] {
            m_popup.showAlerts(r.text, m_caller);
            first.shownAt.start();
            m_onScreen = r.alerts;
        });
        for (const ShownAlert& a : r.alerts)
            if (!m_rungIDs.contains(a.id)) first.alerts.append(a);
        QStringList newWords;
        for (qsizetype i = 0; i < r.ids.size(); ++i)
            if (!m_rungIDs.contains(r.ids[i]) && i < r.spoken.size()) newWords << r.spoken[i];
        const bool fresh =
            std::any_of(r.ids.begin(), r.ids.end(), [this](qint64 id) { return !m_rungIDs.contains(id); });
        // Counted as rung even when the sound fails, so that one alert never rings twice.
        m_rungIDs = QSet<qint64>(r.ids.begin(), r.ids.end());
        // The popup is already up: the window thread paints it while the audio thread rings.
        if (fresh && !m_halted) {
            m_pollRing = playRing(TrayOperation::Poll);
            ringing = true;
            // Their receipts follow the ring, so that they can say how it went.
            first.ticket = m_pollRing;
            if (!first.shownAt.isValid()) first.shownAt.start();
            m_firstShown = first;
            m_toSpeak = newWords.join(QStringLiteral(". "));
        }
    });
    if (!ringing) endPoll();
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

void Poller::onReadAloudRead(bool on) {
    const QString words = std::exchange(m_toSpeak, QString());
    if (!on || words.isEmpty() || m_halted) return;
    // Queued behind the ring just asked for: the words follow it.
    AudioWorker* worker = m_audioWorker;
    QMetaObject::invokeMethod(
        worker, [worker, words] { worker->speak(words); }, Qt::QueuedConnection);
}

void Poller::setVoice(VoiceFactory makeVoice) {
    if (!m_audioWorker) return;
    AudioWorker* worker = m_audioWorker;
    QMetaObject::invokeMethod(
        worker, [worker, makeVoice] { worker->setVoiceFactory(makeVoice); }, Qt::QueuedConnection);
}

int Poller::playRing(TrayOperation op) {
    const int ticket = ++m_nextTicket;
    ++m_ringsWaiting;
    AudioWorker* worker = m_audioWorker;
    QMetaObject::invokeMethod(
        worker, [worker, ticket, op] { worker->ring(ticket, op); }, Qt::QueuedConnection);
    return ticket;
}

void Poller::onRang(int ticket, const RingReport& report) {
    --m_ringsWaiting;
    if (m_firstShown && m_firstShown->ticket == ticket) {
        const FirstShown first = *m_firstShown;
        m_firstShown.reset();
        QElapsedTimer rangAt;
        rangAt.start();
        if (!m_halted && !first.alerts.isEmpty()) {
            DatabaseWorker* worker = m_databaseWorker;
            const ServerList cs = m_servers;
            const DatabaseAccess access = m_access;
            QMetaObject::invokeMethod(
                worker,
                [worker, cs, access, first, report, rangAt] {
                    worker->recordShown(cs, access, first.alerts, first.shownAt, report, rangAt);
                },
                Qt::QueuedConnection);
        }
    }
    if (ticket == m_pollRing) {
        m_pollRing = 0;
        endPoll();
    }
}

void Poller::onClosedByUser() {
    if (m_halted || m_onScreen.isEmpty()) return;
    QElapsedTimer closedAt;
    closedAt.start();
    DatabaseWorker* worker = m_databaseWorker;
    const ServerList cs = m_servers;
    const DatabaseAccess access = m_access;
    const QList<ShownAlert> alerts = m_onScreen;
    QMetaObject::invokeMethod(
        worker, [worker, cs, access, alerts, closedAt] { worker->recordClosed(cs, access, alerts, closedAt); },
        Qt::QueuedConnection);
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
