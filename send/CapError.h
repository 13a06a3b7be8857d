#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace hv {

// A CAP document that this system will not take, with the reason in words that name the element
// at fault, for the one line on standard error.
class CapError : public std::exception {
public:
    // later: the message may well be taken later as it stands (sent a little ahead of this
    // computer's clock), so a gateway tries it again.
    explicit CapError(QString reason, bool later = false);

    const QString& reason() const { return m_reason; }
    bool later() const { return m_later; }
    const char* what() const noexcept override { return m_what.constData(); }

    // A value from the document as it may appear in a reason: short, on one line, in quotes.
    static QString quoted(const QString& value);

private:
    QString m_reason;
    QByteArray m_what;
    bool m_later = false;
};

} // namespace hv
