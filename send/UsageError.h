#pragma once

#include <QString>
#include <stdexcept>

namespace hv {

// A command line that halvane-send cannot follow, with what is wrong with it.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const QString& reason) : std::runtime_error(reason.toStdString()), m_reason(reason) {}
    const QString& reason() const { return m_reason; }

private:
    QString m_reason;
};

} // namespace hv
