#pragma once

#include <QString>

namespace hv {

// Who belongs to an audience: host-name patterns, where '*' stands for any run of characters
// (none included) and '?' for exactly one, letter case aside. A pattern without either is one
// host name. This is the one definition every decision goes by: the poll's and the wake-up
// message's in the tray client, and the console's counts. The LIKE form kept beside each pattern
// of an alert lets the database be asked the same question in SQL, over folded names.
namespace hostpattern {

// The longest pattern or host name the tables hold.
constexpr qsizetype kLongest = 255;

// Letter case aside: both sides compare names folded this way.
QString folded(const QString& name);

// Whether the host name belongs to the pattern.
bool matches(const QString& pattern, const QString& hostName);

// The pattern as a LIKE pattern over folded names, with '!' as the escape character (so that a
// '%', '_' or '!' in a name stands for itself); compare with ESCAPE '!' under a binary collation.
QString likeForm(const QString& pattern);

// Why a pattern cannot be stored, or an empty text when it can: empty, blanks at either end, or
// longer than the column.
QString problemWith(const QString& pattern);

} // namespace hostpattern
} // namespace hv
