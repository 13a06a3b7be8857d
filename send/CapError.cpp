#include "CapError.h"

namespace hv {

CapError::CapError(QString reason) : m_reason(std::move(reason)), m_what(m_reason.toUtf8()) {}

} // namespace hv
