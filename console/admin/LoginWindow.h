#pragma once

#include "widgets/FixedDialog.h"

class QLineEdit;
class QPushButton;

namespace hv {

struct ConsoleContext;

// The login window Form2 ("Login"): guards the administration window. The user name and password
// are compared with the users rows character for character; nothing of a successful login is kept.
class LoginWindow : public FixedDialog {
    Q_OBJECT
public:
    explicit LoginWindow(ConsoleContext& ctx);

    // Edit > "Administrator Properties": shows the one login window, empty, or brings the open
    // one forward.
    static LoginWindow* open(ConsoleContext& ctx);
    static LoginWindow* current();

    void login();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ConsoleContext& m_ctx;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QPushButton* m_login = nullptr;
};

} // namespace hv
