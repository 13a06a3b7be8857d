#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace hv {

// A CAP document that this system will not take, with the reason in words that name the element
// at fault, for the one line on standard error.
class CapError : public std::exception {
public:
    explicit CapError(QString reason);

    const QString& reason() const { return m_reason; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    QString m_reason;
    QByteArray m_what;
};

} // namespace hv
