#pragma once

#include <QDialog>

class QPushButton;

namespace hv {

class LimitedTextEdit;

// Form7, "Custom Code Message": takes the optional message of one submission. Each opening
// starts empty; closing by the title bar keeps nothing.
class CustomMessageDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxLength = 600;

    explicit CustomMessageDialog(QWidget* parent = nullptr);

    // The message as typed, line breaks included; empty when nothing was saved.
    QString message() const { return m_message; }

public slots:
    void command1_Click();

private:
    LimitedTextEdit* Text1;
    QPushButton* command1;
    QString m_message;
};

} // namespace hv
