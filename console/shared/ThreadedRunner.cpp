#include "shared/ThreadedRunner.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <exception>
#include <memory>

namespace hv {

DatabaseRunner::~DatabaseRunner() = default;

ThreadedRunner::ThreadedRunner(QObject* parent) : QObject(parent), m_worker(new QObject) {
    m_thread.setObjectName(QStringLiteral("database"));
    m_worker->moveToThread(&m_thread);
    m_thread.start();
}

ThreadedRunner::~ThreadedRunner() {
    // Steps are only ever run while a window waits for them, so none is left to finish here.
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
}

ThreadedRunner& ThreadedRunner::shared() {
    static QPointer<ThreadedRunner> runner;
    if (!runner) runner = new ThreadedRunner(QCoreApplication::instance());
    return *runner;
}

void ThreadedRunner::run(const std::function<void()>& job) {
    if (QThread::currentThread() == &m_thread) {
        job();
        return;
    }
    struct Result {
        std::exception_ptr error;
    };
    const auto result = std::make_shared<Result>();
    QEventLoop loop;
    QMetaObject::invokeMethod(
        m_worker,
        [job, result, &loop] {
            try {
                job();
            } catch (...) {
                result->error = std::current_exception();
            }
            // The waiting loop lives until this call has reached it.
            QMetaObject::invokeMethod(
                &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);

    bool busy = false;
    QTimer pointer;
    pointer.setSingleShot(true);
    QObject::connect(&pointer, &QTimer::timeout, [&busy] {
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        busy = true;
    });
    pointer.start(kBusyPointerAfterMs);
    // Painting and timers go on; keys, clicks and the session's requests wait for the step, so that
    // nothing can start a second operation or close a window whose step is still running.
    loop.exec(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
    pointer.stop();
    if (busy) QGuiApplication::restoreOverrideCursor();
    if (result->error) std::rethrow_exception(result->error);
}

} // namespace hv
