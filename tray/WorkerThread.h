#pragma once

#include <QDeadlineTimer>
#include <QString>

class QObject;
class QThread;

namespace hv {

// One long-lived thread with one object living on it; work reaches the object as queued calls,
// one at a time, in the order they were asked for. The object is deleted on its own thread when
// the thread ends.
class WorkerThread {
public:
    // Takes the object (which must have no parent), moves it to a new thread and starts it.
    WorkerThread(QObject* worker, const QString& name);
    // Stops without waiting beyond what stop() allowed.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    QObject* worker() const { return m_worker; }

    // No further work starts (work already asked for is dropped); the work under way finishes.
    void requestStop();
    // requestStop(), then the work under way is waited for until the deadline. True when the
    // thread has ended (its object deleted). Otherwise the thread is left to end on its own once
    // its work returns, and it tidies itself away then.
    bool stop(QDeadlineTimer deadline);
    // On the worker's thread: whether work should still start.
    static bool stopping();
    bool stopped() const { return m_thread == nullptr; }

private:
    QThread* m_thread = nullptr;
    QObject* m_worker = nullptr;
};

} // namespace hv
