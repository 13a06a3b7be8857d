#pragma once

#include "widgets/FixedDialog.h"

class QLineEdit;
class QPushButton;

namespace hv {

struct ConsoleContext;

// The login window Form2 ("Login"): guards the administration window. The user name and password
// are compared with the users rows character for character; nothing of a successful login is kept
// beyond the window it opens (the cancel window keeps the user name, to record who cancelled).
class LoginWindow : public FixedDialog {
    Q_OBJECT
public:
    // The window a successful login opens.
    enum class Then { Administration, CancelAlert };

    explicit LoginWindow(ConsoleContext& ctx);

    // Edit > "Administrator Properties" (or the cancelling of an alert): shows the one login
    // window, empty, or brings the open one forward; the latest choice decides what it opens.
    static LoginWindow* open(ConsoleContext& ctx, Then then = Then::Administration);
    static LoginWindow* current();

    void login();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ConsoleContext& m_ctx;
    Then m_then = Then::Administration;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QPushButton* m_login = nullptr;
};

} // namespace hv
