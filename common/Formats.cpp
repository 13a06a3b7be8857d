#include "Formats.h"

#include <QLocale>

namespace hv {

QString formatAmPm(const QTime& t, bool withSeconds) {
    if (!t.isValid()) return {};
    const QLocale loc = QLocale::system();
    int h = t.hour() % 12;
    if (h == 0) h = 12;
    QString designator = t.hour() < 12 ? loc.amText() : loc.pmText();
    if (designator.isEmpty()) designator = t.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
    // Put together by hand: every poll of every workstation formats each alert's time.
    QString s;
    s.reserve(9 + designator.size());
    s += QString::number(h);
    s += u':';
    if (t.minute() < 10) s += u'0';
    s += QString::number(t.minute());
    if (withSeconds) {
        s += u':';
        if (t.second() < 10) s += u'0';
        s += QString::number(t.second());
    }
    s += u' ';
    s += designator;
    return s;
}

QChar dateSeparator() {
    const QString fmt = QLocale::system().dateFormat(QLocale::ShortFormat);
    for (QChar c : fmt) {
        if (!c.isLetter() && !c.isSpace() && c != u'\'') return c;
    }
    return u'/';
}

QString formatMonthDayYear(const QDate& d) {
    if (!d.isValid()) return {};
    const QChar sep = dateSeparator();
    return QStringLiteral("%1%2%3%4%5")
        .arg(d.month(), 2, 10, QLatin1Char('0'))
        .arg(sep)
        .arg(d.day(), 2, 10, QLatin1Char('0'))
        .arg(sep)
        .arg(d.year(), 4, 10, QLatin1Char('0'));
}

QString formatIsoDate(const QDate& d) {
    return d.isValid() ? d.toString(QStringLiteral("yyyy-MM-dd")) : QString();
}

QString formatShortDate(const QDate& d) {
    return d.isValid() ? QLocale::system().toString(d, QLocale::ShortFormat) : QString();
}

QString formatGrouped(qint64 n) {
    QLocale loc = QLocale::system();
    loc.setNumberOptions(loc.numberOptions() & ~QLocale::OmitGroupSeparator);
    return loc.toString(n);
}

} // namespace hv
