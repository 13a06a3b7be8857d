#include "Wording.h"

#include "SiteFacts.h"

namespace hv::wording {

QString duration(qint64 seconds) {
    if (seconds < 120) return QStringLiteral("%1 seconds").arg(seconds);
    if (seconds < 7200) return QStringLiteral("%1 minutes").arg(seconds / 60);
    return QStringLiteral("%1 hours").arg(seconds / 3600);
}

QString clockWarning(const QDateTime& consoleNow, const QDateTime& serverNow) {
    if (!consoleNow.isValid() || !serverNow.isValid()) return {};
    // Both clocks as the wall-clock times that the workstations compare.
    const QDateTime console(consoleNow.date(), consoleNow.time(), Qt::UTC);
    const QDateTime server(serverNow.date(), serverNow.time(), Qt::UTC);
    const qint64 serverAhead = console.secsTo(server);
    if (qAbs(serverAhead) <= site::kClockToleranceSeconds) return {};
    return QStringLiteral("the alert was stored, but this computer's clock is %1 %2 the database server's; the "
                          "workstations may show the alert late or not at all")
        .arg(duration(qAbs(serverAhead)), serverAhead > 0 ? QStringLiteral("behind") : QStringLiteral("ahead of"));
}

QString clockRefusal(qint64 serverAheadSeconds) {
    return QStringLiteral("this computer's clock is %1 %2 the database server's; nothing was purged or stored (set "
                          "this computer's clock right and send again)")
        .arg(duration(qAbs(serverAheadSeconds)),
             serverAheadSeconds > 0 ? QStringLiteral("behind") : QStringLiteral("ahead of"));
}

} // namespace hv::wording
