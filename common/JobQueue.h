#pragma once

#include "Failure.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QThread;

namespace hv {

// The answer of a job that can fail: its value, or the failure that ended it.
template <class R> struct JobResult {
    R value{};
    std::optional<Failure> failure;
};

// What the home thread shows while it waits long for a job (the console's busy pointer).
struct JobWait {
    int showAfterMs = 0;
    std::function<void()> begin;
    std::function<void()> end;
};

// One long-lived thread that runs jobs one at a time, in the order they were posted: each
// program's database thread, and the tray client's audio thread. Answers come back on the thread
// that made the queue (the window thread), to a receiver living there, unless the receiver has
// gone meanwhile; the window side never waits for a job unless it asks to (runAndWait). The jobs'
// own state is theirs to keep: whatever they capture lives on this thread while they run.
class JobQueue {
public:
    explicit JobQueue(const QString& threadName);
    // Stops without waiting for the job under way: see stop().
    ~JobQueue();
    JobQueue(const JobQueue&) = delete;
    JobQueue& operator=(const JobQueue&) = delete;

    // Runs job after those posted before it; dropped once a stop has been asked for.
    void post(std::function<void()> job);

    // Runs job there, then done with its answer on the queue's home thread, unless the receiver
    // (which lives there) is gone. A Failure thrown by the job, or any other exception as an
    // unexpected failure, comes back as the answer's failure.
    template <class R>
    void post(QObject* receiver, std::function<R()> job, std::function<void(const JobResult<R>&)> done) {
        post([replies = m_replies, to = QPointer<QObject>(receiver), job = std::move(job), done = std::move(done)] {
            JobResult<R> result;
            result.failure = capture([&] { result.value = job(); });
            replies(to, [done, result] { done(result); });
        });
    }
    // The same for a job without a value: done hears only whether it failed.
    void post(QObject* receiver, std::function<void()> job, std::function<void(const std::optional<Failure>&)> done);

    // Runs job there while the home thread waits for it without freezing: painting and timers go
    // on, user input and socket notifiers wait until the job is done, so that nothing can start a
    // second operation meanwhile. A failure thrown by the job is thrown here. Called on the
    // queue's own thread, the job simply runs.
    void runAndWait(const std::function<void()>& job, const JobWait& wait = JobWait());

    // The way back to the home thread, for a job that has more than one thing to say, each as soon
    // as it is known: replies(receiver, fn) runs fn on the home thread unless the receiver, which
    // lives there, has gone. A job takes a copy; it stays safe when the queue has gone meanwhile.
    class Replies {
    public:
        void operator()(const QPointer<QObject>& receiver, std::function<void()> fn) const;

    private:
        friend class JobQueue;
        struct Home;
        std::shared_ptr<Home> m_home;
    };
    Replies replies() const { return m_replies; }

    // No further job starts (those waiting are dropped); the one under way finishes.
    void requestStop();
    // requestStop(), then the job under way is waited for until the deadline. True when the thread
    // has ended. Otherwise it is left to end on its own once its job returns (a server or an audio
    // device that does not answer), and it tidies itself away then.
    bool stop(QDeadlineTimer deadline);
    bool stopped() const { return m_thread == nullptr; }
    // On a queue's thread: whether a stop has been asked for, so that a long job can end early.
    static bool stopping();

private:
    static std::optional<Failure> capture(const std::function<void()>& job);

    QThread* m_thread = nullptr;
    // Lives on the queue's thread; jobs are delivered to it.
    QObject* m_context = nullptr;
    // A job left behind when the queue went may still answer: its answer is then dropped, never
    // sent to an object that is gone.
    Replies m_replies;
};

} // namespace hv
