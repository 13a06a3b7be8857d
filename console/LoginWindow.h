#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
struct ConsoleContext;

// The login window Form2 ("Login"): guards the administration window. The user name and password
// are compared with the users rows by this program, character for character; nothing of a
// successful login is kept.
class LoginWindow : public QDialog {
    Q_OBJECT
public:
    explicit LoginWindow(ConsoleContext& ctx);

    // Shows the one login window, empty, or brings the open one forward.
    static LoginWindow* open(ConsoleContext& ctx);
    static LoginWindow* current();

    void login();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    ConsoleContext& m_ctx;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QPushButton* m_login = nullptr;
};
