#pragma once

#include <QValidator>

class QLineEdit;

// The input limit of a single-line field. Unlike QLineEdit's own maximum length, it never cuts a
// longer stored value put in by the program: such a value is shown whole, the field then accepts
// nothing more, and the allowance follows the text back down to the limit as the user shortens it.
class LengthLimit : public QValidator {
    Q_OBJECT
public:
    LengthLimit(int limit, QLineEdit* field);

    // Call before putting a stored value into the field.
    void allow(const QString& text);
    State validate(QString& input, int& pos) const override;

private:
    int m_limit;
    int m_allowed;
};
