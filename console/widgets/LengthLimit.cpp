#include "widgets/LengthLimit.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

namespace hv {

LengthLimit::LengthLimit(int limit, QLineEdit* field) : QValidator(field), m_limit(limit), m_allowed(limit) {
    field->setValidator(this);
    connect(field, &QLineEdit::textChanged, this, &LengthLimit::allow);
}

LengthLimit::LengthLimit(int limit, QPlainTextEdit* field)
    : QValidator(field), m_plain(field), m_limit(limit), m_allowed(limit) {
    connect(field->document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int charsAdded) { onContentsChange(position, charsAdded); });
}

void LengthLimit::allow(const QString& text) {
    m_allowed = std::max<int>(m_limit, int(text.size()));
}

int LengthLimit::excess(const QString& text, int length, int end) const {
    int over = length - m_allowed;
    if (over <= 0) return 0;
    // The cut starts at end - over; it must not leave the first half of a pair behind.
    const int from = end - over;
    if (from > 0 && from <= text.size() && text.at(from - 1).isHighSurrogate()) ++over;
    return over;
}

QValidator::State LengthLimit::validate(QString& input, int& pos) const {
    const int over = excess(input, int(input.size()), pos);
    if (over > 0) {
        const int from = std::max(0, pos - over);
        input.remove(from, over);
        pos = from;
    }
    return Acceptable;
}

void LengthLimit::onContentsChange(int position, int charsAdded) {
    if (m_cutting) return;
    const QString text = m_plain->toPlainText();
    // The document counts its closing paragraph in what it reports as added; the text does not.
    const int end = std::min(position + charsAdded, int(text.size()));
    const int added = std::max(0, end - position);
    const int over = std::min(excess(text, int(text.size()), end), added);
    if (over > 0) {
        m_cutting = true;
        QTextCursor c(m_plain->document());
        c.setPosition(end - over);
        c.setPosition(end, QTextCursor::KeepAnchor);
        c.removeSelectedText();
        m_cutting = false;
    }
    allow(m_plain->toPlainText());
}

} // namespace hv
