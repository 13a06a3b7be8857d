#pragma once

#include "Failure.h"

#include <QObject>
#include <QThread>
#include <functional>
#include <optional>

namespace hv {

// Reads that a window refreshes by itself every few seconds run here, on a thread of their own:
// the window does not wait for them at all (the console's database thread would hold its input
// while a step runs), and a slow server never holds up the operator. The window hears the answer
// on its own thread, unless it has gone meanwhile. Jobs run one at a time, in the order given.
class BackgroundRunner : public QObject {
    Q_OBJECT
public:
    explicit BackgroundRunner(QObject* parent = nullptr);
    ~BackgroundRunner() override;

    // Runs job here, then done(failure) on the window thread (where this runner and the receiver
    // live) unless the receiver is gone; failure is empty when the job ran to its end. Any other
    // exception counts as an unexpected failure.
    void post(QObject* receiver, std::function<void()> job, std::function<void(const std::optional<Failure>&)> done);

    // The console's own, living as long as the application.
    static BackgroundRunner& shared();

private:
    QThread m_thread;
    QObject* m_worker;
};

} // namespace hv
