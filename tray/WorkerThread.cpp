#include "WorkerThread.h"

#include <QObject>
#include <QThread>

namespace hv {

WorkerThread::WorkerThread(QObject* worker, const QString& name) : m_thread(new QThread), m_worker(worker) {
    m_thread->setObjectName(name);
    m_worker->moveToThread(m_thread);
    // The object goes with its thread, on that thread, also when the thread was left behind.
    QObject::connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    QObject::connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    m_thread->start();
}

WorkerThread::~WorkerThread() {
    stop(QDeadlineTimer(0));
}

void WorkerThread::requestStop() {
    if (!m_thread) return;
    m_thread->requestInterruption();
    m_thread->quit();
}

bool WorkerThread::stopping() {
    return QThread::currentThread()->isInterruptionRequested();
}

bool WorkerThread::stop(QDeadlineTimer deadline) {
    if (!m_thread) return true;
    requestStop();
    QThread* thread = m_thread;
    m_thread = nullptr;
    m_worker = nullptr;
    if (thread->wait(deadline)) {
        delete thread;
        return true;
    }
    // Still inside its work (a server that does not answer, an audio device that does not return):
    // waiting longer would hold up the end of the program or of the desktop session. The thread
    // deletes itself once it ends.
    return false;
}

} // namespace hv
