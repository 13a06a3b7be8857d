#include "admin/LoginWindow.h"

#include "Handler.h"
#include "Strings.h"
#include "UserStore.h"
#include "admin/AdminWindow.h"
#include "cancel/CancelWindow.h"
#include "shared/ConsoleContext.h"
#include "shared/FailureTable.h"
#include "widgets/SingleWindow.h"
#include "widgets/WindowParts.h"

#include <QFocusEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace hv {

namespace {
SingleWindow<LoginWindow> g_window;
}

LoginWindow::LoginWindow(ConsoleContext& ctx) : m_ctx(ctx) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Login"));

    QLabel* label1 = WindowParts::label(QStringLiteral("Label1"), QStringLiteral("User Name"), this);
    QLabel* label2 = WindowParts::label(QStringLiteral("Label2"), QStringLiteral("Password"), this);
    m_user = new QLineEdit(this);
    m_user->setObjectName(QStringLiteral("Text1"));
    m_user->setMaxLength(50);
    m_user->setToolTip(QStringLiteral("Enter your User Name. Case sensitive."));
    m_user->setMinimumWidth(220);
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("Text2"));
    m_password->setMaxLength(50);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setToolTip(QStringLiteral("Enter your Password. Case sensitive."));
    // Enter in the user name field does nothing; only the password field logs in on Enter.
    m_login = WindowParts::button(QStringLiteral("Command1"), QStringLiteral("Login"),
                                  QStringLiteral("Click here to login"), this);

    auto* grid = new QGridLayout(this);
    grid->addWidget(label1, 0, 0);
    grid->addWidget(m_user, 0, 1);
    grid->addWidget(label2, 1, 0);
    grid->addWidget(m_password, 1, 1);
    grid->addWidget(m_login, 2, 1, Qt::AlignRight);
    setTabOrder(m_user, m_password);
    setTabOrder(m_password, m_login);

    m_user->installEventFilter(this);
    m_password->installEventFilter(this);
    connect(m_login, &QPushButton::clicked, this, &LoginWindow::login);

    setFixedSize(sizeHint());
    m_user->setFocus(Qt::OtherFocusReason);
}

LoginWindow* LoginWindow::open(ConsoleContext& ctx, Then then) {
    LoginWindow& window = g_window.open([&] { return new LoginWindow(ctx); });
    window.m_then = then;
    return &window;
}

LoginWindow* LoginWindow::current() {
    return g_window.current();
}

void LoginWindow::login() {
    if (m_user->text().isEmpty()) {
        m_ctx.msg.show(QStringLiteral("Empty User Name"),
                       QStringLiteral("You must enter a User Name in order to login."), Buttons::Ok, Icon::None);
        m_user->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (m_password->text().isEmpty()) {
        m_ctx.msg.show(QStringLiteral("Empty Password"), QStringLiteral("You must enter a Password in order to login."),
                       Buttons::Ok, Icon::None);
        m_password->setFocus(Qt::OtherFocusReason);
        return;
    }

    Handler handler(FailureTable::policyFor(FailureTable::Operation::Login, m_ctx.msg, m_ctx.exit));
    bool found = false;
    const QString user = m_user->text();
    const QString password = m_password->text();
    const bool ran = handler.run([&] {
        handler.step(
            [&] { m_ctx.database().run<UserStore>([&](UserStore& users) { found = users.login(user, password); }); });
    });
    if (!ran) return;
    if (found) {
        close();
        if (m_then == Then::CancelAlert)
            CancelWindow::open(m_ctx, user);
        else
            AdminWindow::open(m_ctx);
        return;
    }
    m_user->clear();
    m_password->clear();
    m_user->setFocus(Qt::OtherFocusReason);
    m_ctx.msg.show(QStringLiteral("Not Found"),
                   QStringLiteral("The User name or Password you entered does not exist. Please try again."),
                   Buttons::Ok, Icon::Critical);
}

bool LoginWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && (watched == m_user || watched == m_password)) {
        // Switching to another window or application is no focus loss of the field's own.
        if (static_cast<QFocusEvent*>(event)->reason() != Qt::ActiveWindowFocusReason) {
            auto* field = static_cast<QLineEdit*>(watched);
            const QString trimmed = trimmedOf(field->text());
            if (trimmed != field->text()) field->setText(trimmed);
        }
    } else if (event->type() == QEvent::KeyPress && watched == m_password) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            login();
            return true;
        }
    }
    return FixedDialog::eventFilter(watched, event);
}

} // namespace hv
