#pragma once

#include <QValidator>

class QLineEdit;
class QPlainTextEdit;

namespace hv {

// The input limit of a field, single-line or multi-line, whether text is typed, pasted, composed
// or brought back by an undo: what does not fit is dropped from the end of what was just put in.
// Unlike QLineEdit's own maximum length it never cuts a longer stored value that the program puts
// in: such a value is shown whole, the field then accepts nothing more, and the allowance follows
// the text back down to the limit as the user shortens it.
class LengthLimit : public QValidator {
    Q_OBJECT
public:
    LengthLimit(int limit, QLineEdit* field);
    LengthLimit(int limit, QPlainTextEdit* field);

    // Call before the program puts a stored value into the field.
    void allow(const QString& text);
    // True while the limit itself is changing the field's text.
    bool isCutting() const { return m_cutting; }

    State validate(QString& input, int& pos) const override;

private:
    // How many characters of an insertion that ends at `end` must go so that `length` fits; a
    // surrogate pair is never split.
    int excess(const QString& text, int length, int end) const;
    void onContentsChange(int position, int charsAdded);

    QPlainTextEdit* m_plain = nullptr;
    int m_limit;
    int m_allowed;
    bool m_cutting = false;
};

} // namespace hv
