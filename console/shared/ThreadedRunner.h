#pragma once

#include "shared/DatabaseRunner.h"

#include <QObject>
#include <QThread>

namespace hv {

// The console's database thread. A step runs there while the window thread waits for it without
// freezing: the windows keep painting, input waits until the step is done (as it did while the
// window thread itself waited), and a wait longer than kBusyPointerAfterMs shows the busy pointer.
// Every connection is made, used and closed inside one step, on this one thread.
class ThreadedRunner : public QObject, public DatabaseRunner {
    Q_OBJECT
public:
    static constexpr int kBusyPointerAfterMs = 2000;

    explicit ThreadedRunner(QObject* parent = nullptr);
    ~ThreadedRunner() override;

    void run(const std::function<void()>& job) override;

    // The console's own, living as long as the application.
    static ThreadedRunner& shared();

private:
    QThread m_thread;
    QObject* m_worker;
};

} // namespace hv
