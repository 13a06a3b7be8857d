#pragma once

#include <QDateTime>
#include <QString>

// How halvane-send says things in its one-line messages.
namespace hv::wording {

// A span of time as a person says it: seconds under two minutes, minutes under two hours, hours.
QString duration(qint64 seconds);

// The warning after an alert was stored with this computer's clock when the database server's
// clock differs by more than the site's clocks may; empty when they agree.
QString clockWarning(const QDateTime& consoleNow, const QDateTime& serverNow);

// Why nothing was stored when this computer's clock is too far off the database server's.
QString clockRefusal(qint64 serverAheadSeconds);

} // namespace hv::wording
