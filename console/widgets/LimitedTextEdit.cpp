#include "widgets/LimitedTextEdit.h"

#include "widgets/LengthLimit.h"

#include <QKeyEvent>
#include <QMimeData>

namespace hv {

LimitedTextEdit::LimitedTextEdit(int limit, Enter enter, QWidget* parent)
    : QPlainTextEdit(parent), m_limit(new LengthLimit(limit, this)), m_enter(enter) {
    // Tab moves on through the tab order as in every other field of the window.
    setTabChangesFocus(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_limit->isCutting()) emit valueChanged();
    });
}

void LimitedTextEdit::setText(const QString& text) {
    if (text == toPlainText()) return;
    m_limit->allow(text);
    setPlainText(text);
}

void LimitedTextEdit::keyPressEvent(QKeyEvent* event) {
    if (m_enter == Enter::Finishes && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        emit enterPressed();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void LimitedTextEdit::insertFromMimeData(const QMimeData* source) {
    if (!source || !source->hasText()) return;
    QString text = source->text();
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    insertPlainText(text);
}

} // namespace hv
