#include "CapError.h"

namespace hv {

CapError::CapError(QString reason, bool later)
    : m_reason(std::move(reason)), m_what(m_reason.toUtf8()), m_later(later) {}

QString CapError::quoted(const QString& value) {
    QString v = value.left(60);
    for (QChar& c : v)
        if (!c.isPrint()) c = u' ';
    return u'"' + v + (value.size() > 60 ? QStringLiteral("...\"") : QStringLiteral("\""));
}

} // namespace hv
