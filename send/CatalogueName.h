#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace hv {

// A name given from outside (a command line, a CAP message, a mapping) as the catalogue spells it.
class CatalogueName {
public:
    // The name exactly as given, else the one name that differs from it only in letter case or
    // blanks at the ends (as the catalogue itself compares). Nothing when no name or several
    // names fit; `alike` then holds those several.
    static std::optional<QString> resolve(const QStringList& names, const QString& wanted,
                                          QStringList* alike = nullptr);
};

} // namespace hv
