#pragma once

#include <QPlainTextEdit>

// A multi-line field that accepts no more than its limit of characters, whether typed or pasted.
// A longer value that is already stored is shown whole: the field then accepts nothing more, and
// its allowance shrinks back to the limit as the user removes characters.
class LimitedTextEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    LimitedTextEdit(int limit, QWidget* parent);

    QString text() const { return toPlainText(); }
    // Shows a stored value whole, however long.
    void setText(const QString& text);

signals:
    // The text changed, by the user or by setText.
    void valueChanged();

private:
    void onContentsChange(int position, int charsRemoved, int charsAdded);

    int m_limit;
    int m_allowed;
    bool m_trimming = false;
};
