#include "ConsoleKit.h"
#include "admin/AdminWindow.h"
#include "admin/LoginWindow.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>
#include <memory>

using hv::Buttons;
using hv::Icon;

namespace {
const QString kNotFound = box("Not Found", "The User name or Password you entered does not exist. Please try again.",
                              Buttons::Ok, Icon::Critical);
}

class TestLogin : public QObject {
    Q_OBJECT

    std::unique_ptr<ConsoleKit> kit;
    QPointer<hv::LoginWindow> login;

    QLineEdit* field(const char* name) { return login->findChild<QLineEdit*>(name); }
    void openLogin() {
        hv::LoginWindow::open(kit->ctx);
        login = hv::LoginWindow::current();
        QVERIFY(login);
        QVERIFY(QTest::qWaitForWindowActive(login.data()));
    }
    // Types the name, tabs to the password (the name field loses the focus), types the password.
    void enter(const QString& user, const QString& password) {
        QTest::mouseClick(field("Text1"), Qt::LeftButton);
        QTest::keyClicks(field("Text1"), user);
        QTest::keyClick(field("Text1"), Qt::Key_Tab);
        QTest::keyClicks(field("Text2"), password);
    }
    bool loggedIn() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return hv::AdminWindow::current() && hv::AdminWindow::current()->isVisible() && login.isNull();
    }

private slots:
    void init() {
        REQUIRE_DB();
        testdb::reset();
        testdb::exec("INSERT INTO users (UserName, Password) VALUES ('Admin', 'Secret'), ('bob', 'first'), "
                     "('bob', 'second'), (NULL, 'x'), ('nopass', NULL), ('Spacey', ' pw ')");
        kit = std::make_unique<ConsoleKit>();
        openLogin();
    }
    void cleanup() {
        delete login.data();
        delete hv::AdminWindow::current();
        kit.reset();
    }

    void opensEmptyWithTheNameFieldFocused() {
        QCOMPARE(login->objectName(), QString("Form2"));
        QCOMPARE(login->windowTitle(), QString("Login"));
        QCOMPARE(login->findChild<QLabel*>("Label1")->text(), QString("User Name"));
        QCOMPARE(login->findChild<QLabel*>("Label2")->text(), QString("Password"));
        QCOMPARE(field("Text1")->toolTip(), QString("Enter your User Name. Case sensitive."));
        QCOMPARE(field("Text2")->toolTip(), QString("Enter your Password. Case sensitive."));
        QCOMPARE(field("Text1")->maxLength(), 50);
        QCOMPARE(field("Text2")->maxLength(), 50);
        QCOMPARE(field("Text2")->echoMode(), QLineEdit::Password);
        auto* button = login->findChild<QPushButton*>("Command1");
        QCOMPARE(button->text(), QString("Login"));
        QCOMPARE(button->toolTip(), QString("Click here to login"));
        QVERIFY(!button->autoDefault() && !button->isDefault());
        QCOMPARE(focused(), QString("Text1"));
        QTest::keyClick(field("Text1"), Qt::Key_Tab);
        QCOMPARE(focused(), QString("Text2"));
        QTest::keyClick(field("Text2"), Qt::Key_Tab);
        QCOMPARE(focused(), QString("Command1"));
        // Asking again brings the open one forward.
        hv::LoginWindow::open(kit->ctx);
        QCOMPARE(hv::LoginWindow::current(), login.data());
    }

    void blanksTrimmedOnFocusLossButNotOnEnter() {
        enter("  Spacey  ", " pw ");
        QCOMPARE(field("Text1")->text(), QString("Spacey"));
        QTest::keyClick(field("Text2"), Qt::Key_Return);
        QCOMPARE(shown(kit->msg.boxes), QStringList());
        QVERIFY(loggedIn());
    }

    void enterKeepsThePasswordBlanks() {
        enter("Admin", " Secret ");
        QTest::keyClick(field("Text2"), Qt::Key_Enter);
        QCOMPARE(shown(kit->msg.boxes), QStringList{kNotFound});
        QVERIFY(!loggedIn());
    }

    void switchingWindowsDoesNotTrim() {
        QTest::keyClicks(field("Text1"), "  Admin ");
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QCOMPARE(field("Text1")->text(), QString("  Admin "));
        login->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(login.data()));
        QCOMPARE(field("Text1")->text(), QString("  Admin "));
    }

    void enterInTheNameFieldDoesNothing() {
        enter("Admin", "Secret");
        QTest::mouseClick(field("Text1"), Qt::LeftButton);
        QTest::keyClick(field("Text1"), Qt::Key_Return);
        QCOMPARE(shown(kit->msg.boxes), QStringList());
        QVERIFY(login && login->isVisible());
    }

    void caseDifferencesAndWrongPasswordsAreNotFound_data() {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::newRow("name case") << "admin"
                                   << "Secret";
        QTest::newRow("password case") << "Admin"
                                       << "secret";
        QTest::newRow("wrong password") << "Admin"
                                        << "Secret1";
        QTest::newRow("no password stored") << "nopass"
                                            << "x";
    }
    void caseDifferencesAndWrongPasswordsAreNotFound() {
        QFETCH(QString, user);
        QFETCH(QString, password);
        enter(user, password);
        clickButton(login, "Command1");
        QCOMPARE(shown(kit->msg.boxes), QStringList{kNotFound});
        QCOMPARE(kit->msg.boxes[0].focusAtShow, QString("Text1"));
        QCOMPARE(field("Text1")->text(), QString());
        QCOMPARE(field("Text2")->text(), QString());
        QVERIFY(!loggedIn());
        // Another attempt is always allowed.
        enter("Admin", "Secret");
        clickButton(login, "Command1");
        QVERIFY(loggedIn());
    }

    void everyRowWithTheNameIsTried() {
        enter("bob", "second");
        clickButton(login, "Command1");
        QCOMPARE(shown(kit->msg.boxes), QStringList());
        QVERIFY(loggedIn());
        // Nothing is remembered: the next login window opens empty.
        openLogin();
        QCOMPARE(field("Text1")->text(), QString());
        QCOMPARE(field("Text2")->text(), QString());
    }

    void emptyUserNameIsCheckedFirst() {
        enter("   ", "");
        clickButton(login, "Command1");
        QCOMPARE(shown(kit->msg.boxes),
                 QStringList{
                     box("Empty User Name", "You must enter a User Name in order to login.", Buttons::Ok, Icon::None)});
        QCOMPARE(focused(), QString("Text1"));
        kit->msg.boxes.clear();
        enter("Admin", "");
        clickButton(login, "Command1");
        QCOMPARE(shown(kit->msg.boxes),
                 QStringList{
                     box("Empty Password", "You must enter a Password in order to login.", Buttons::Ok, Icon::None)});
        QCOMPARE(focused(), QString("Text2"));
    }

    void wrongDatabasePasswordEndsTheConsole() {
        enter("Admin", "Secret");
        {
            testdb::WrongPassword refuse;
            clickButton(login, "Command1");
        }
        QCOMPARE(
            shown(kit->msg.boxes),
            QStringList{box("Wrong Password", "You entered an incorrect password. This application will now close.",
                            Buttons::Ok, Icon::Critical)});
        QCOMPARE(kit->exit.ends, 1);
        QVERIFY(!hv::AdminWindow::current());
    }

    void unreachableDatabaseEndsTheConsole() {
        kit->ctx.strDataPath = testdb::hostUnreachable();
        enter("Admin", "Secret");
        clickButton(login, "Command1");
        QCOMPARE(shown(kit->msg.boxes), QStringList{box("Database File Not Found",
                                                        "Database File not found. Contact your computer administrator",
                                                        Buttons::Ok, Icon::Critical)});
        QCOMPARE(kit->exit.ends, 1);
    }
};

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
