#pragma once

#include "WakePublisher.h"

#include <QDeadlineTimer>
#include <memory>

namespace hv {

class JobQueue;

// The console's announcements on the wake-up channel: each after its submission or cancellation
// has committed, on a thread of their own and in the order they were made, so that the operator's
// box never waits for a broker. A broker that is down or refuses costs a warning in the session's
// log; the workstations then learn of it at their next poll.
class WakeSender {
public:
    WakeSender();
    ~WakeSender();
    WakeSender(const WakeSender&) = delete;
    WakeSender& operator=(const WakeSender&) = delete;

    // The site's brokers and the console's account, as the main window read them from halvane.ini.
    void setSettings(const WakeSettings& settings);
    const WakeSettings& settings() const { return m_settings; }

    void send(const QList<SavedAlert>& alerts, const QList<AlertKey>& cancelled = {});
    // Waits for what has been handed over to go out (for the end of the program and for tests).
    // False when the deadline came first.
    bool flush(QDeadlineTimer deadline);

private:
    WakeSettings m_settings;
    std::unique_ptr<JobQueue> m_queue; // made when first needed
};

} // namespace hv
