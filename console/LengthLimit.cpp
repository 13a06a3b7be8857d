#include "LengthLimit.h"

#include <QLineEdit>

LengthLimit::LengthLimit(int limit, QLineEdit* field) : QValidator(field), m_limit(limit), m_allowed(limit) {
    connect(field, &QLineEdit::textChanged, this, &LengthLimit::allow);
}

void LengthLimit::allow(const QString& text) {
    m_allowed = std::max<int>(m_limit, text.size());
}

QValidator::State LengthLimit::validate(QString& input, int& pos) const {
    if (input.size() > m_allowed) {
        // Drop what did not fit from the end of what was just typed or pasted, as a maximum
        // length would.
        const int excess = input.size() - m_allowed;
        const int from = std::max(0, pos - excess);
        input.remove(from, excess);
        pos = from;
    }
    return Acceptable;
}
