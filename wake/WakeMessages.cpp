#include "WakePublisher.h"

namespace hv {

QList<WakeMessage> WakePublisher::messagesFor(const QList<SavedAlert>& alerts, const QList<AlertKey>& cancelled) const {
    QList<WakeMessage> out;
    for (const AlertKey& k : cancelled)
        out << WakeMessage::cancel(m_settings.site, k.id, k.codeDate, k.codeTime);
    for (const SavedAlert& a : alerts)
        out << WakeMessage::alert(m_settings.site, a);
    return out;
}

QStringList WakePublisher::notReached(const Outcome& outcome) {
    QStringList lines;
    for (const QString& problem : outcome.problems)
        lines << QStringLiteral("the wake-up channel did not reach %1; the workstations show it at their next poll")
                     .arg(problem);
    return lines;
}

} // namespace hv
