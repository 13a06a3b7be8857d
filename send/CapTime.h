#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace hv::captime {

// CAP's time form: 2026-12-07T14:03:00-05:00, seconds always, no fractions, UTC as -00:00. A
// tolerant reader also takes Z for UTC. Nothing else is a CAP time: no other zone designator, no
// missing offset, no impossible date or time.
std::optional<QDateTime> parse(const QString& text);

// The moment in CAP's time form with its own offset from UTC.
QString format(const QDateTime& at);

} // namespace hv::captime
