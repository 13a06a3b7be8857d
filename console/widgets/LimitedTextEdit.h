#pragma once

#include <QPlainTextEdit>

namespace hv {

class LengthLimit;

// A multi-line plain-text field with an input limit (see LengthLimit). Pasted Windows line ends
// arrive as one line break each. Where Enter finishes the text (the custom message) it never
// breaks a line and announces itself instead.
class LimitedTextEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    enum class Enter { BreaksLine, Finishes };

    LimitedTextEdit(int limit, Enter enter, QWidget* parent);

    QString text() const { return toPlainText(); }
    // Shows a stored value whole, however long.
    void setText(const QString& text);

signals:
    // The text changed, by the user or by setText.
    void valueChanged();
    void enterPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    LengthLimit* m_limit;
    Enter m_enter;
};

} // namespace hv
