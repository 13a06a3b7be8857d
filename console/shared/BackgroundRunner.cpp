#include "shared/BackgroundRunner.h"

#include <QCoreApplication>
#include <QPointer>

namespace hv {

BackgroundRunner::BackgroundRunner(QObject* parent) : QObject(parent), m_worker(new QObject) {
    m_thread.setObjectName(QStringLiteral("background reads"));
    m_worker->moveToThread(&m_thread);
    m_thread.start();
}

BackgroundRunner::~BackgroundRunner() {
    // Every read is bounded, so the one under way ends soon; those still queued are dropped.
    m_thread.requestInterruption();
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
}

BackgroundRunner& BackgroundRunner::shared() {
    static QPointer<BackgroundRunner> runner;
    if (!runner) runner = new BackgroundRunner(QCoreApplication::instance());
    return *runner;
}

void BackgroundRunner::post(QObject* receiver, std::function<void()> job,
                            std::function<void(const std::optional<Failure>&)> done) {
    QPointer<QObject> to(receiver);
    QMetaObject::invokeMethod(
        m_worker,
        [this, to, job = std::move(job), done = std::move(done)] {
            if (QThread::currentThread()->isInterruptionRequested()) return;
            std::optional<Failure> failure;
            try {
                job();
            } catch (const Failure& f) {
                failure = f;
            } catch (const std::exception& e) {
                failure = Failure(code::Unexpected, QString::fromLocal8Bit(e.what()));
            }
            // The answer goes through this object, which lives on the window thread and outlasts
            // this thread; only there may the window be looked at.
            QMetaObject::invokeMethod(
                this,
                [to, done, failure] {
                    if (to) done(failure);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

} // namespace hv
