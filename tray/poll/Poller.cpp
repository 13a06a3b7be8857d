#include "poll/Poller.h"

#include "WorkerThread.h"
#include "poll/DatabaseWorker.h"
#include "ring/AudioWorker.h"

#include <QWidget>
#include <algorithm>

namespace hv {

Poller::Poller(PopupPort& popup, std::unique_ptr<RingPort> ring, QWidget* caller, QObject* parent)
    : QObject(parent), m_popup(popup), m_caller(caller), m_databaseWorker(new DatabaseWorker),
      m_audioWorker(new AudioWorker(std::move(ring))) {
    connect(m_databaseWorker, &DatabaseWorker::alertsRead, this, &Poller::onAlertsRead, Qt::QueuedConnection);
    connect(m_databaseWorker, &DatabaseWorker::tooltipRead, this, &Poller::onTooltipRead, Qt::QueuedConnection);
    connect(m_databaseWorker, &DatabaseWorker::readAloudRead, this, &Poller::onReadAloudRead, Qt::QueuedConnection);
    connect(m_audioWorker, &AudioWorker::rang, this, &Poller::onRang, Qt::QueuedConnection);
    m_database = std::make_unique<WorkerThread>(m_databaseWorker, QStringLiteral("Morvik database"));
    m_audio = std::make_unique<WorkerThread>(m_audioWorker, QStringLiteral("Morvik audio"));
}

Poller::~Poller() {
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
    const QString cs = m_connectionString;
    const DatabaseAccess access = m_access;
    QMetaObject::invokeMethod(
        worker, [worker, cs, access] { worker->readTooltip(cs, access); }, Qt::QueuedConnection);
}

void Poller::tick() {
    if (m_busy || m_halted) return;
    m_busy = true;
    emit pollStarted();
    DatabaseWorker* worker = m_databaseWorker;
    const QString cs = m_connectionString;
    const DatabaseAccess access = m_access;
    const bool withTooltip = m_tooltipPending;
    QMetaObject::invokeMethod(
        worker, [worker, cs, access, withTooltip] { worker->poll(cs, access, withTooltip); }, Qt::QueuedConnection);
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
        if (r.failure) throw *r.failure;
        if (!r.statementRan) return;
        if (r.ids.isEmpty()) {
            m_rungIDs.clear();
            return;
        }
        m_lastID = r.ids.last();
        h.step([&] { m_popup.showAlerts(r.text, m_caller); });
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

void Poller::onRang(int ticket) {
    --m_ringsWaiting;
    if (ticket == m_pollRing) {
        m_pollRing = 0;
        endPoll();
    }
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
