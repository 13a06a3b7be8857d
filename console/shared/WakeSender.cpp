#include "shared/WakeSender.h"

#include "JobQueue.h"

#include <QDebug>
#include <QThread>
#include <atomic>

namespace hv {

WakeSender::WakeSender() = default;

WakeSender::~WakeSender() {
    // Whatever is still on its way gets the publication's own bound, then the program goes.
    flush(QDeadlineTimer(WakePublisher::kBoundMs + 200));
    if (m_queue) m_queue->stop(QDeadlineTimer(0));
}

void WakeSender::setSettings(const WakeSettings& settings) {
    m_settings = settings;
}

void WakeSender::send(const QList<SavedAlert>& alerts, const QList<AlertKey>& cancelled) {
    if (!m_settings.enabled()) return;
    if (!m_queue) m_queue = std::make_unique<JobQueue>(QStringLiteral("Halvane wake-up"));
    const WakePublisher publisher(m_settings);
    const QList<WakeMessage> messages = publisher.messagesFor(alerts, cancelled);
    m_queue->post([publisher, messages] {
        for (const QString& line : WakePublisher::notReached(publisher.publishWithin(messages)))
            qWarning().noquote() << "Halvane:" << line;
    });
}

bool WakeSender::flush(QDeadlineTimer deadline) {
    if (!m_queue || m_queue->stopped()) return true;
    auto done = std::make_shared<std::atomic_bool>(false);
    m_queue->post([done] { *done = true; });
    while (!*done && !deadline.hasExpired())
        QThread::msleep(5);
    return *done;
}

} // namespace hv
