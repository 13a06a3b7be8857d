#include "JobQueue.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>
#include <exception>

namespace hv {

struct JobQueue::Replies::Home {
    QMutex mutex;
    // Lives on the home thread; answers are posted to it and dropped with it.
    QObject* object = new QObject;
};

JobQueue::JobQueue(const QString& threadName) : m_thread(new QThread), m_context(new QObject) {
    m_replies.m_home = std::make_shared<Replies::Home>();
    m_thread->setObjectName(threadName);
    m_context->moveToThread(m_thread);
    // The context goes with its thread, on that thread, also when the thread was left behind.
    QObject::connect(m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    QObject::connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    m_thread->start();
}

JobQueue::~JobQueue() {
    stop(QDeadlineTimer(0));
    QMutexLocker lock(&m_replies.m_home->mutex);
    delete m_replies.m_home->object;
    m_replies.m_home->object = nullptr;
}

void JobQueue::post(std::function<void()> job) {
    if (!m_thread) return;
    QMetaObject::invokeMethod(
        m_context,
        [job = std::move(job)] {
            if (!stopping()) job();
        },
        Qt::QueuedConnection);
}

void JobQueue::post(QObject* receiver, std::function<void()> job,
                    std::function<void(const std::optional<Failure>&)> done) {
    post([replies = m_replies, to = QPointer<QObject>(receiver), job = std::move(job), done = std::move(done)] {
        const std::optional<Failure> failure = capture(job);
        replies(to, [done, failure] { done(failure); });
    });
}

std::optional<Failure> JobQueue::capture(const std::function<void()>& job) {
    try {
        job();
    } catch (const Failure& f) {
        return f;
    } catch (const std::exception& e) {
        return Failure(code::Unexpected, QString::fromLocal8Bit(e.what()));
    }
    return std::nullopt;
}

void JobQueue::Replies::operator()(const QPointer<QObject>& to, std::function<void()> fn) const {
    // Through the home object, which drops what is still on its way when it goes; only on the home
    // thread may the receiver be looked at.
    QMutexLocker lock(&m_home->mutex);
    if (!m_home->object) return;
    QMetaObject::invokeMethod(
        m_home->object,
        [to, fn = std::move(fn)] {
            if (to) fn();
        },
        Qt::QueuedConnection);
}

void JobQueue::runAndWait(const std::function<void()>& job, const JobWait& wait) {
    if (QThread::currentThread() == m_thread) {
        job();
        return;
    }
    if (!m_thread) throw Failure(code::Unexpected, QStringLiteral("The database thread has ended"));
    struct Shared {
        std::exception_ptr error;
        bool done = false;
    };
    const auto shared = std::make_shared<Shared>();
    QEventLoop loop;
    QMetaObject::invokeMethod(
        m_context,
        [job, shared, &loop] {
            try {
                job();
            } catch (...) {
                shared->error = std::current_exception();
            }
            // The waiting loop lives until this call has reached it.
            QMetaObject::invokeMethod(
                &loop,
                [shared, &loop] {
                    if (shared->done) return;
                    shared->done = true;
                    loop.quit();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);

    // A queue stopped meanwhile would never run the job: the wait ends with a failure instead.
    QObject::connect(m_thread, &QThread::finished, &loop, [shared, &loop] {
        if (shared->done) return;
        shared->done = true;
        shared->error =
            std::make_exception_ptr(Failure(code::Unexpected, QStringLiteral("The database thread has ended")));
        loop.quit();
    });

    bool shown = false;
    QTimer pointer;
    pointer.setSingleShot(true);
    if (wait.begin) {
        QObject::connect(&pointer, &QTimer::timeout, [&] {
            wait.begin();
            shown = true;
        });
        pointer.start(wait.showAfterMs);
    }
    while (!shared->done)
        loop.exec(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
    pointer.stop();
    if (shown && wait.end) wait.end();
    if (shared->error) std::rethrow_exception(shared->error);
}

void JobQueue::requestStop() {
    if (!m_thread) return;
    m_thread->requestInterruption();
    m_thread->quit();
}

bool JobQueue::stopping() {
    return QThread::currentThread()->isInterruptionRequested();
}

bool JobQueue::stop(QDeadlineTimer deadline) {
    if (!m_thread) return true;
    requestStop();
    QThread* thread = m_thread;
    m_thread = nullptr;
    m_context = nullptr;
    if (thread->wait(deadline)) {
        delete thread;
        return true;
    }
    // Still inside its job: waiting longer would hold up the end of the program or of the desktop
    // session. The thread deletes itself once it ends.
    return false;
}

} // namespace hv
