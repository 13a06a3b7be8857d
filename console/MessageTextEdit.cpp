#include "MessageTextEdit.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>
#include <QTextDocument>

MessageTextEdit::MessageTextEdit(int maxLength, QWidget* parent) : QPlainTextEdit(parent), m_maxLength(maxLength) {
    setTabChangesFocus(true);
    // Whatever path text takes in (a composed character, an undo), the bound holds.
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        const int over = length() - m_maxLength;
        if (over <= 0) return;
        QTextCursor c(document());
        c.movePosition(QTextCursor::End);
        c.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor, over);
        c.removeSelectedText();
    });
}

int MessageTextEdit::length() const {
    return document()->characterCount() - 1;
}

int MessageTextEdit::room() const {
    const QTextCursor c = textCursor();
    return m_maxLength - (length() - (c.selectionEnd() - c.selectionStart()));
}

void MessageTextEdit::insertBounded(QString text) {
    // Pasted Windows line ends become one line break each, as they are shown.
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    const int fit = room();
    if (fit <= 0) return;
    if (text.size() > fit) {
        text.truncate(fit);
        if (!text.isEmpty() && text.back().isHighSurrogate()) text.chop(1);
    }
    if (!text.isEmpty()) insertPlainText(text);
}

void MessageTextEdit::keyPressEvent(QKeyEvent* e) {
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
        emit enterPressed();
        return;
    }
    const QString text = e->text();
    const bool typesText = !text.isEmpty() && text.front().isPrint() &&
                           !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (typesText && text.size() > room()) {
        e->accept(); // the field is full: the character is refused
        return;
    }
    QPlainTextEdit::keyPressEvent(e);
}

void MessageTextEdit::inputMethodEvent(QInputMethodEvent* e) {
    if (!e->commitString().isEmpty() && e->commitString().size() > room()) {
        QInputMethodEvent cut(e->preeditString(), e->attributes());
        const int fit = qMax(0, room());
        cut.setCommitString(e->commitString().left(fit), e->replacementStart(), e->replacementLength());
        QPlainTextEdit::inputMethodEvent(&cut);
        return;
    }
    QPlainTextEdit::inputMethodEvent(e);
}

void MessageTextEdit::insertFromMimeData(const QMimeData* source) {
    if (source && source->hasText()) insertBounded(source->text());
}
