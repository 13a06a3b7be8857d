#include "CatalogueName.h"

namespace hv {

std::optional<QString> CatalogueName::resolve(const QStringList& names, const QString& wanted, QStringList* alike) {
    if (names.contains(wanted)) return wanted;
    QStringList found;
    for (const QString& name : names)
        if (QString::compare(name.trimmed(), wanted.trimmed(), Qt::CaseInsensitive) == 0 && !found.contains(name))
            found.append(name);
    if (alike) *alike = found;
    if (found.size() == 1) return found.front();
    return std::nullopt;
}

} // namespace hv
