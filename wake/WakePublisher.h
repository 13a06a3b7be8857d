#pragma once

#include "PollSnapshot.h"
#include "SavedAlert.h"
#include "WakeMessage.h"
#include "WakeSettings.h"

#include <QDeadlineTimer>
#include <QList>
#include <QStringList>

namespace hv {

// Tells the workstations at once what the database now holds: after a submission or a
// cancellation has committed, its messages go to every broker named (a site with a broker per
// building reaches each building; where brokers are bridged a workstation simply drops the second
// copy). At least once (QoS 1), never retained: a workstation that is not listening learns of the
// alert at its next poll, as it always did. Bounded in time and never a failure of the
// submission: a broker that is down, slow or refuses costs at most the bound and a line of
// what happened.
class WakePublisher {
public:
    // The whole publication, connection included, on every broker at once.
    static constexpr int kBoundMs = 500;

    explicit WakePublisher(WakeSettings settings) : m_settings(std::move(settings)) {}

    struct Outcome {
        // The brokers that acknowledged every message, "host:port".
        QStringList reached;
        // Those that took every message but had not acknowledged them all by the bound: a broker
        // with many subscribers hands the message on to all of them before it answers.
        QStringList unacknowledged;
        // One line per broker that was not reached: "host:port: why".
        QStringList problems;
    };

    // On the caller's thread, until every broker has answered or the deadline has passed. A name
    // lookup that the system's resolver holds up may take longer; publishWithin() bounds that too.
    Outcome publish(const QList<WakeMessage>& messages, QDeadlineTimer deadline = QDeadlineTimer(kBoundMs)) const;
    // The same on a thread of its own, waited for at most `ms`; what has not answered by then is
    // left to end on its own and counts as not reached.
    Outcome publishWithin(const QList<WakeMessage>& messages, int ms = kBoundMs) const;

    const WakeSettings& settings() const { return m_settings; }

    // The messages of a submission or a cancellation that committed: each cancellation, then each
    // alert, for this site.
    QList<WakeMessage> messagesFor(const QList<SavedAlert>& alerts, const QList<AlertKey>& cancelled = {}) const;
    // What to tell whoever submitted about brokers that were not reached: one line each, which
    // says that the workstations still get the alert by their polls.
    static QStringList notReached(const Outcome& outcome);

private:
    WakeSettings m_settings;
};

} // namespace hv
