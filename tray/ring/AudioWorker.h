#pragma once

#include "TrayFailures.h"
#include "TrayPorts.h"

#include <QObject>
#include <deque>
#include <memory>

namespace hv {

// The ring on a thread of its own, so that the window thread never waits for a sound. It owns
// the ring (and with it the mixer), which therefore lives as long as the thread: a ring still
// playing when the program ends is never pulled from under it.
class AudioWorker : public QObject {
    Q_OBJECT
public:
    explicit AudioWorker(std::unique_ptr<RingPort> ring);
    ~AudioWorker() override;

    // One ring to its end, for the "Test Sound" item or for a poll; a failure is handled as the
    // operation's failure table says (either way the program goes on). Rings asked for while one
    // plays follow it, also when the ring turns an event loop of its own meanwhile.
    void ring(int ticket, TrayOperation op);
    // From any thread: the ring under way ends as soon as the device allows (volume and mute are
    // then put back as usual).
    void interrupt();

signals:
    void rang(int ticket);

private:
    struct Job {
        int ticket;
        TrayOperation op;
    };
    std::unique_ptr<RingPort> m_ring;
    std::deque<Job> m_jobs;
    bool m_playing = false;
};

} // namespace hv
