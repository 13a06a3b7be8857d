#include "Failure.h"

namespace hv {

Failure::Failure(qint64 number, QString description, int nativeCode)
    : m_number(number), m_description(std::move(description)), m_native(nativeCode),
      m_what(QStringLiteral("failure %1: %2").arg(number).arg(m_description).toUtf8()) {}

} // namespace hv
