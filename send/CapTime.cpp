#include "CapTime.h"

#include <QRegularExpression>

namespace hv::captime {

std::optional<QDateTime> parse(const QString& text) {
    // ASCII digits only: \d would also take digits of other scripts.
    static const QRegularExpression form(QStringLiteral(
        "^([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})(?:([+-])([0-9]{2}):([0-9]{2})|Z)$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) return std::nullopt;
    auto number = [&](int group) { return m.capturedView(group).toInt(); };
    const QDate date(number(1), number(2), number(3));
    const QTime time(number(4), number(5), number(6));
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    int offset = 0;
    if (m.capturedLength(7)) {
        const int hours = number(8), minutes = number(9);
        // The zones of the world lie between -12:00 and +14:00.
        if (hours > 14 || minutes > 59) return std::nullopt;
        offset = (hours * 60 + minutes) * 60 * (m.capturedView(7) == u'-' ? -1 : 1);
    }
    return QDateTime(date, time, Qt::OffsetFromUTC, offset);
}

QString format(const QDateTime& at) {
    const int offset = at.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    // CAP writes UTC as -00:00, never +00:00 or Z.
    const QChar sign = offset > 0 ? u'+' : u'-';
    return at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + sign +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace hv::captime
