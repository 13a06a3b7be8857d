#include "alerts/LiveAlerts.h"

#include "SiteFacts.h"
#include "alerts/AlertText.h"

#include <QStringList>

namespace hv {

ShownAlert LiveAlerts::shownAlert(const Entry& e) {
    return {e.polled.key.id, e.polled.key.codeDate, e.polled.key.codeTime, e.polled.codeName, e.polled.codeLocation};
}

LiveAlerts::Showing LiveAlerts::polled(const PollSnapshot& s) {
    Showing out;
    for (auto& [key, e] : m_alerts)
        e.onScreen = false;
    // Without an answer from the database nothing is known to have changed.
    if (s.failure || !s.statementRan) return out;

    for (auto& [key, e] : m_alerts)
        e.live = false;
    for (const PolledAlert& a : s.alerts) {
        Entry& e = m_alerts[a.key];
        e.polled = a;
        e.live = true;
        e.cancelled = e.cancelled || a.cancelled;
    }

    QStringList words;
    for (auto& [key, e] : m_alerts) {
        const bool visible = e.live && !e.cancelled;
        if (!visible) {
            // Out of view: should it come back, it is new again.
            e.rung = false;
            continue;
        }
        ++out.alerts;
        e.onScreen = true;
        m_lastID = key.id;
        out.text += alertText::block(e.polled);
        if (e.rung) continue;
        e.rung = true;
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
    if (out.ring && s.readAloud.value_or(false)) {
        out.words = words.join(QStringLiteral(". "));
        for (auto& [key, e] : m_alerts)
            if (e.onScreen && e.receipt == Write::AwaitingRing && e.ringTicket == 0) e.spoken = true;
    }
    forgetSettled();
    return out;
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
        if (!e.onScreen || e.closed) continue;
        e.closed = true;
        e.closedAt.start();
        // A receipt not yet written carries the moment itself; one written or on its way needs
        // the close written after it.
        if (e.receipt != Write::AwaitingRing && e.receipt != Write::Owed) e.close = Write::Owed;
    }
    trim();
    return pending() > 0;
}

bool LiveAlerts::refusedRoundDue() const {
    return !m_lastRefusedRound.isValid() || m_lastRefusedRound.elapsed() >= qint64(site::kCheckInSeconds) * 1000;
}

LiveAlerts::Batch LiveAlerts::takeOwed() {
    Batch batch;
    const bool refusedToo = refusedRoundDue();
    for (auto& [key, e] : m_alerts) {
        if (e.receipt == Write::Owed && (e.receiptRefusals == 0 || refusedToo)) {
            e.receipt = Write::InFlight;
            batch.receiptKeys << key;
            batch.receipts << ReceiptWrite{shownAlert(e), e.shownAt, e.ring, e.rangAt,
                                           e.closed ? e.closedAt : QElapsedTimer()};
        }
        if (e.close == Write::Owed && (e.closeRefusals == 0 || refusedToo)) {
            e.close = Write::InFlight;
            batch.closeKeys << key;
            batch.closes << CloseWrite{shownAlert(e), e.closedAt};
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
    if (refusedNow) m_lastRefusedRound.start();
    forgetSettled();
}

void LiveAlerts::forgetSettled() {
    for (auto it = m_alerts.begin(); it != m_alerts.end();) {
        const Entry& e = it->second;
        const bool owed = e.receipt == Write::AwaitingRing || e.receipt == Write::Owed ||
                          e.receipt == Write::InFlight || e.close == Write::Owed || e.close == Write::InFlight;
        if (!e.live && !owed)
            it = m_alerts.erase(it);
        else
            ++it;
    }
}

void LiveAlerts::trim() {
    // The oldest writes that wait for a server out of reach go first, receipts before closes.
    for (Write Entry::*write : {&Entry::receipt, &Entry::close}) {
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
