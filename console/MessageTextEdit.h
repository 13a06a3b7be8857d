#pragma once

#include <QPlainTextEdit>

// The message field `Text1` of the custom message window (Form7): plain text of bounded length,
// where Enter finishes the message instead of breaking the line.
class MessageTextEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit MessageTextEdit(int maxLength, QWidget* parent = nullptr);

    int maxLength() const { return m_maxLength; }
    int length() const;

signals:
    void enterPressed();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    // How many more characters fit when the selection is replaced.
    int room() const;
    void insertBounded(QString text);

    int m_maxLength;
};
