#include "LimitedTextEdit.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

LimitedTextEdit::LimitedTextEdit(int limit, QWidget* parent)
    : QPlainTextEdit(parent), m_limit(limit), m_allowed(limit) {
    // Tab moves on through the tab order as in every other field of the window.
    setTabChangesFocus(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    connect(document(), &QTextDocument::contentsChange, this, &LimitedTextEdit::onContentsChange);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_trimming) emit valueChanged();
    });
}

void LimitedTextEdit::setText(const QString& text) {
    if (text == toPlainText()) return;
    m_allowed = std::max<int>(m_limit, text.size());
    setPlainText(text);
}

void LimitedTextEdit::onContentsChange(int position, int, int charsAdded) {
    if (m_trimming) return;
    const int length = toPlainText().size();
    if (length > m_allowed && charsAdded > 0) {
        // Take back what did not fit from the end of what was just put in.
        const int excess = std::min(length - m_allowed, charsAdded);
        m_trimming = true;
        QTextCursor c(document());
        c.setPosition(position + charsAdded - excess);
        c.setPosition(position + charsAdded, QTextCursor::KeepAnchor);
        c.removeSelectedText();
        m_trimming = false;
    }
    m_allowed = std::max<int>(m_limit, toPlainText().size());
}
