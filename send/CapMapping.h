#pragma once

#include "CapAlert.h"

#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <optional>

namespace hv {

// What concerns the site in a public alert feed: the site's own file that turns a message's
// <event> (or an <eventCode>) into one of the site's codes, and an <area>'s <areaDesc> (or a
// <geocode>) into one of its locations. One rule to a line:
//
//   # comment
//   event      Tornado Warning   => Code Black
//   eventCode  SAME=TOR          => Code Black
//   areaDesc   Fairfax County*   => East Wing
//   geocode    SAME=051059       => East Wing
//
// The kind word is compared without regard to case; the pattern takes * (any run of characters)
// and ? (any one character) and is compared without regard to case; an eventCode or geocode
// pattern is the code system's valueName, "=", and a pattern for the value. Blanks at either end
// of a pattern or a name do not count. The first event or eventCode rule that fits an <info>
// gives its code; every areaDesc or geocode rule that fits one of its areas gives a location.
class CapMapping {
public:
    // A file that cannot be read, or a line that is not a rule, with the line's number.
    struct Error {
        QString reason;
    };

    static constexpr qint64 kMaxFileBytes = 1024 * 1024;

    // The rules of the file; Error when it is missing, too large, or has a line that is not a rule,
    // or when it lacks rules of either side (it could then never send anything).
    static CapMapping read(const QString& path);
    // The rules of the text; `name` names it in errors.
    static CapMapping parse(const QByteArray& text, const QString& name);

    // The code of the first code rule that fits the info's event or one of its event codes.
    std::optional<QString> codeFor(const CapAlert::Info& info) const;
    // The locations of the location rules that fit the areas, each once, in the order of the
    // areas and then of the rules.
    QStringList locationsFor(const QList<CapAlert::Area>& areas) const;

    // * and ?, without regard to case; everything else stands for itself.
    static QRegularExpression pattern(const QString& wildcards);

private:
    struct Rule {
        QString valueName; // empty for event and areaDesc rules
        QRegularExpression pattern;
        QString name;
    };
    static bool fits(const Rule& rule, const QString& text, const QList<CapAlert::Code>& codes);

    QList<Rule> m_codes;
    QList<Rule> m_locations;
};

} // namespace hv
