#pragma once

#include <QDate>
#include <QString>
#include <QTime>

namespace hv {

// Dates and times as the users of this system read them, with the desktop's own designators and
// separators (Qt would otherwise use the C locale).

// "h:mm ampm": hour on the 12-hour clock without a leading zero, the locale's AM/PM designator;
// "h:mm:ss ampm" with the seconds.
QString formatAmPm(const QTime& t, bool withSeconds = false);
// "MM/DD/YYYY" with the locale's date separator.
QString formatMonthDayYear(const QDate& d);
// "YYYY-MM-DD", for the database.
QString formatIsoDate(const QDate& d);
// The locale's short date form.
QString formatShortDate(const QDate& d);
// "###,##0": thousands grouped with the locale's separator, at least one digit.
QString formatGrouped(qint64 n);
QChar dateSeparator();

} // namespace hv
