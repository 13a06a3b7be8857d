#include "alerts/LiveAlerts.h"

#include "SiteFacts.h"
#include "alerts/AlertText.h"

#include "DeliveryTerms.h"

#include <QStringList>
#include <set>

namespace hv {

ShownAlert LiveAlerts::shownAlert(const Entry& e) {
    return {e.polled.key.id, e.polled.key.codeDate, e.polled.key.codeTime, e.polled.codeName, e.polled.codeLocation};
}

bool LiveAlerts::wakeExpired(const Entry& e) {
    // Measured on this workstation's steady clock from the moment it came: an alert is current for
    // less than its window after its commit, whatever the clocks say.
    return e.wokenAt.isValid() && e.wokenAt.elapsed() >= qint64(site::kAlertWindowSeconds) * 1000;
}

bool LiveAlerts::visible(const Entry& e) const {
    if (!e.live || e.cancelled || e.cancelWoken || e.refuted) return false;
    // Without an answer from the database only what came by wake-up stays, while it can be current.
    return m_reached || (e.wokenAt.isValid() && !wakeExpired(e));
}

LiveAlerts::Showing LiveAlerts::showing() {
    Showing out;
    QStringList words;
    for (auto& [key, e] : m_alerts) {
        e.onScreen = false;
        e.inBalloon = false;
        if (!visible(e)) {
            // Out of view: should it come back, it is new again. One hidden by a cancellation by
            // wake-up or taken down unconfirmed already rang, and does not ring again.
            if (!e.live && !e.refuted) e.rung = false;
            continue;
        }
        ++out.alerts;
        e.onScreen = true;
        m_lastID = key.id;
        if (e.polled.presentation.fullScreen && !e.fullScreenDone) {
            out.fullScreen.prepend(e.polled);
        } else {
            e.inBalloon = true;
            out.blocks.prepend(alertText::block(e.polled));
        }
        if (e.rung) continue;
        e.rung = true;
        e.lastRingAt.start();
        out.ring = true;
        words << alertText::spoken(e.polled);
        e.shownAt.start();
        // Counted as rung even when the sound fails, so that one alert never rings twice; its
        // receipt waits for the ring, so that it can say how it went. One already on its way stays.
        if (e.receipt == Write::None || e.receipt == Write::Done) {
            e.receipt = Write::AwaitingRing;
            e.ringTicket = 0;
        }
    }
    // Newest first: with more alerts than the balloon holds, the one just sent is the one seen.
    out.text = out.blocks.join(QString());
    if (out.ring && m_readAloud.value_or(false)) {
        out.words = words.join(QStringLiteral(". "));
        for (auto& [key, e] : m_alerts)
            if (e.onScreen && e.receipt == Write::AwaitingRing && e.ringTicket == 0) e.spoken = true;
    }
    return out;
}

LiveAlerts::Showing LiveAlerts::polled(const PollSnapshot& s) {
    m_reached = !s.failure && s.statementRan;
    // Without an answer from the database nothing is known to have changed.
    if (!m_reached) {
        for (auto& [key, e] : m_alerts)
            if (wakeExpired(e) && !e.confirmed) e.live = false;
        Showing out = showing();
        forgetSettled();
        return out;
    }
    if (s.readAloud) m_readAloud = s.readAloud;

    std::set<AlertKey> shown;
    for (const PolledAlert& a : s.alerts) {
        Entry& e = m_alerts[a.key];
        shown.insert(a.key);
        e.polled = a;
        e.live = true;
        e.confirmed = true;
        e.missedPolls = 0;
        e.refuted = false;
        e.cancelled = e.cancelled || a.cancelled;
        if (e.cancelled) {
            e.cancelWoken = false;
        } else if (e.cancelWoken && s.cancellationsRead && e.cancelWokenInPoll < m_pollGeneration &&
                   ++e.cancelDenials >= 2) {
            // The database holds no such cancellation: the alert is back.
            e.cancelWoken = false;
        }
    }
    for (auto& [key, e] : m_alerts) {
        if (shown.count(key)) continue;
        const bool awaited = e.wokenAt.isValid() && !e.confirmed && !e.refuted;
        if (!awaited || wakeExpired(e)) {
            e.live = false;
        } else if (e.wokenInPoll < m_pollGeneration && ++e.missedPolls >= 2) {
            e.live = false;
            e.refuted = true;
            ++m_unconfirmed;
            // No receipt for what the database does not hold.
            if (e.receipt != Write::Done) e.receipt = Write::None;
        }
    }
    Showing out = showing();
    forgetSettled();
    return out;
}

LiveAlerts::Showing LiveAlerts::woken(const PolledAlert& a) {
    if (m_alerts.count(a.key)) {
        Showing unchanged;
        unchanged.changed = false;
        return unchanged;
    }
    Entry& e = m_alerts[a.key];
    e.polled = a;
    e.live = true;
    e.wokenAt.start();
    e.wokenInPoll = m_pollGeneration;
    return showing();
}

LiveAlerts::Showing LiveAlerts::cancelWoken(const AlertKey& key) {
    const auto it = m_alerts.find(key);
    if (it == m_alerts.end() || it->second.cancelled || it->second.cancelWoken) {
        Showing unchanged;
        unchanged.changed = false;
        return unchanged;
    }
    it->second.cancelWoken = true;
    it->second.cancelWokenInPoll = m_pollGeneration;
    it->second.cancelDenials = 0;
    return showing();
}

void LiveAlerts::ringing(int ticket) {
    for (auto& [key, e] : m_alerts)
        if (e.receipt == Write::AwaitingRing && e.ringTicket == 0) e.ringTicket = ticket;
}

bool LiveAlerts::rang(int ticket, const RingReport& report) {
    bool owed = false;
    for (auto& [key, e] : m_alerts) {
        if (e.receipt != Write::AwaitingRing || e.ringTicket != ticket) continue;
        e.receipt = Write::Owed;
        e.ring = report;
        e.rangAt.start();
        owed = true;
    }
    trim();
    return owed;
}

bool LiveAlerts::closedByUser() {
    for (auto& [key, e] : m_alerts) {
        // The first close counts; the popup comes back at the next poll and may be closed again.
        if (!e.inBalloon || e.closed) continue;
        e.closed = true;
        e.closedAt.start();
        // A receipt not yet written carries the moment itself; one written or on its way needs
        // the close written after it.
        if (e.receipt != Write::AwaitingRing && e.receipt != Write::Owed) e.close = Write::Owed;
    }
    trim();
    return pending() > 0;
}

LiveAlerts::Showing LiveAlerts::fullScreenClosed(const AlertKey& key, const QString& answer) {
    const auto it = m_alerts.find(key);
    if (it == m_alerts.end() || it->second.fullScreenDone) {
        Showing unchanged;
        unchanged.changed = false;
        return unchanged;
    }
    Entry& e = it->second;
    e.fullScreenDone = true;
    if (!answer.isEmpty() && e.polled.presentation.answers.contains(answer)) {
        e.answer = answer;
        e.answeredAt.start();
        e.answerWrite = Write::Owed;
    }
    // Closing it is the user's first close of the alert, as a click on the balloon is.
    if (!e.closed) {
        e.closed = true;
        e.closedAt.start();
        if (e.receipt != Write::AwaitingRing && e.receipt != Write::Owed) e.close = Write::Owed;
    }
    trim();
    return showing();
}

bool LiveAlerts::awaitsAnswer(const Entry& e) {
    // Answered or closed full screen, or (shown in the balloon) closed by the user: done ringing.
    return e.onScreen && e.polled.presentation.untilAnswered && !e.fullScreenDone && e.answer.isEmpty() &&
           !(e.inBalloon && e.closed);
}

bool LiveAlerts::ringsUntilAnswered() const {
    for (const auto& [key, e] : m_alerts)
        if (awaitsAnswer(e)) return true;
    return false;
}

bool LiveAlerts::ringAgainDue() {
    bool due = false;
    for (auto& [key, e] : m_alerts) {
        if (!awaitsAnswer(e)) continue;
        if (!e.lastRingAt.isValid() || e.lastRingAt.elapsed() >= qint64(AlertPresentation::kRingAgainSeconds) * 1000)
            due = true;
    }
    // One ring for all that are due, and they wait together for the next.
    if (due)
        for (auto& [key, e] : m_alerts)
            if (awaitsAnswer(e)) e.lastRingAt.start();
    return due;
}

bool LiveAlerts::refusedRoundDue() const {
    return !m_lastRefusedRound.isValid() || m_lastRefusedRound.elapsed() >= qint64(site::kCheckInSeconds) * 1000;
}

LiveAlerts::Batch LiveAlerts::takeOwed(bool forPoll) {
    Batch batch;
    const bool refusedToo = refusedRoundDue();
    for (auto& [key, e] : m_alerts) {
        const bool byWakeUp = e.wokenAt.isValid();
        if (e.receipt == Write::Owed && (e.receiptRefusals == 0 || refusedToo) && (forPoll || !byWakeUp)) {
            e.receipt = Write::InFlight;
            batch.receiptKeys << key;
            ReceiptWrite r;
            r.alert = shownAlert(e);
            r.shownAt = e.shownAt;
            r.ring = e.ring;
            r.rangAt = e.rangAt;
            if (e.closed) r.closedAt = e.closedAt;
            if (m_wakeChannel) r.channel = byWakeUp ? delivery::kByWakeUp : delivery::kByPoll;
            r.needsConfirmation = byWakeUp && !e.confirmed;
            batch.receipts << r;
        }
        if (e.close == Write::Owed && (e.closeRefusals == 0 || refusedToo)) {
            e.close = Write::InFlight;
            batch.closeKeys << key;
            batch.closes << CloseWrite{shownAlert(e), e.closedAt};
        }
        if (e.answerWrite == Write::Owed && (e.answerRefusals == 0 || refusedToo)) {
            e.answerWrite = Write::InFlight;
            batch.answerKeys << key;
            batch.answers << AnswerWrite{shownAlert(e), e.answer, e.answeredAt};
        }
    }
    return batch;
}

void LiveAlerts::settle(Write& state, int& refusals, std::optional<WriteOutcome> outcome, bool& refusedNow) {
    if (state != Write::InFlight) return;
    switch (outcome.value_or(WriteOutcome::Lost)) {
    case WriteOutcome::Written:
        state = Write::Done;
        break;
    case WriteOutcome::Refused:
        // A server that answers no (no delivery tables, no rights) is asked again a period later,
        // and a write it keeps refusing is given up.
        refusedNow = true;
        state = ++refusals >= MaxRefusals ? Write::None : Write::Owed;
        break;
    case WriteOutcome::Lost:
        state = Write::Owed;
        break;
    }
}

void LiveAlerts::written(const Batch& batch, const BatchResult& result) {
    bool refusedNow = false;
    // Not sent: the poll did not find the alert. The next poll asks again, unless the polls take
    // it down meanwhile.
    for (const AlertKey& key : result.unconfirmed) {
        const auto it = m_alerts.find(key);
        if (it != m_alerts.end() && it->second.receipt == Write::InFlight) it->second.receipt = Write::Owed;
    }
    for (const AlertKey& key : batch.receiptKeys) {
        const auto it = m_alerts.find(key);
        if (it != m_alerts.end()) settle(it->second.receipt, it->second.receiptRefusals, result.receipts, refusedNow);
    }
    for (qsizetype i = 0; i < batch.closeKeys.size(); ++i) {
        const auto it = m_alerts.find(batch.closeKeys[i]);
        const std::optional<WriteOutcome> outcome =
            i < result.closes.size() ? std::optional<WriteOutcome>(result.closes[i]) : std::nullopt;
        if (it != m_alerts.end()) settle(it->second.close, it->second.closeRefusals, outcome, refusedNow);
    }
    for (qsizetype i = 0; i < batch.answerKeys.size(); ++i) {
        const auto it = m_alerts.find(batch.answerKeys[i]);
        const std::optional<WriteOutcome> outcome =
            i < result.answers.size() ? std::optional<WriteOutcome>(result.answers[i]) : std::nullopt;
        if (it != m_alerts.end()) settle(it->second.answerWrite, it->second.answerRefusals, outcome, refusedNow);
    }
    if (refusedNow) m_lastRefusedRound.start();
    forgetSettled();
}

void LiveAlerts::forgetSettled() {
    for (auto it = m_alerts.begin(); it != m_alerts.end();) {
        const Entry& e = it->second;
        const bool owed = e.receipt == Write::AwaitingRing || e.receipt == Write::Owed ||
                          e.receipt == Write::InFlight || e.close == Write::Owed || e.close == Write::InFlight ||
                          e.answerWrite == Write::Owed || e.answerWrite == Write::InFlight;
        // One taken down unconfirmed is remembered while it could be current, so that neither a
        // second copy nor a late poll that shows it rings it again.
        const bool remembered = e.refuted && !wakeExpired(e);
        if (!e.live && !owed && !remembered)
            it = m_alerts.erase(it);
        else
            ++it;
    }
}

void LiveAlerts::trim() {
    // The oldest writes that wait for a server out of reach go first, receipts before closes, the
    // answers last.
    for (Write Entry::*write : {&Entry::receipt, &Entry::close, &Entry::answerWrite}) {
        for (auto& [key, e] : m_alerts) {
            if (pending() <= MaxPending) break;
            if (e.*write == Write::Owed) e.*write = Write::None;
        }
    }
    forgetSettled();
}

int LiveAlerts::pending() const {
    int n = 0;
    for (const auto& [key, e] : m_alerts) {
        n += e.receipt == Write::Owed || e.receipt == Write::InFlight;
        n += e.close == Write::Owed || e.close == Write::InFlight;
        n += e.answerWrite == Write::Owed || e.answerWrite == Write::InFlight;
    }
    return n;
}

QList<ShownAlert> LiveAlerts::onScreen() const {
    QList<ShownAlert> out;
    for (const auto& [key, e] : m_alerts)
        if (e.onScreen) out << shownAlert(e);
    return out;
}

} // namespace hv
