// Start-up of the console's main window: the lists, the failure table of loading, the menus and
// closing.
#include "ConsoleKit.h"
#include "admin/AdminWindow.h"
#include "admin/LoginWindow.h"

#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

namespace {

const QString kConnectTitle = QStringLiteral("Database Connection Error");
const QString kConnectText = QStringLiteral(
    "This computer can't connect to the MYSQL database located on the main computer that you installed the Full "
    "Server version onto. Also, make sure port 3306 is open in your firewall");
const QString kIniTitle = QStringLiteral("Database Error");
const QString kIniText = QStringLiteral(
    "The halvane.ini file should have only the following format: MYSQLSERVERNAME=ServerComputerName. Have it all on "
    "the first line with no periods, spaces or quotes. So just use MYSQLSERVERNAME= then the name of the network "
    "computer, A.K.A. host name, that is running the MYSQL server that you should have already installed. The MYSQL "
    "server computer could be this pc, or another one on your network. This application will now close.");

QStringList entries(QComboBox* list) {
    QStringList e;
    for (int i = 0; i < list->count(); ++i)
        e << list->itemText(i);
    return e;
}

} // namespace

// Records the web addresses the desktop would have opened.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

// Another console window with a closing behaviour of its own.
class OtherWindow : public QDialog {
public:
    int closings = 0;

protected:
    void closeEvent(QCloseEvent* e) override {
        ++closings;
        QDialog::closeEvent(e);
    }
};

class TestConsoleLoad : public QObject {
    Q_OBJECT

    void expectSingleFatal(const ConsoleKit& h, const QString& title, const QString& text) {
        QCOMPARE(h.msg.boxes.size(), 1);
        QCOMPARE(h.msg.boxes[0].title, title);
        QCOMPARE(h.msg.boxes[0].text, text);
        QCOMPARE(h.msg.boxes[0].buttons, hv::Buttons::Ok);
        QCOMPARE(h.msg.boxes[0].icon, hv::Icon::Critical);
        QCOMPARE(h.exit.ends, 1);
    }

private slots:
    void init() {
        REQUIRE_DB();
        testdb::reset();
    }

    void listsAlternateNameAndEmptyEntry() {
        for (const char* name : {"Drill", "Code Red", "Bob's \"Code\""})
            testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES (?, 'x')", {QString::fromUtf8(name)});
        for (const char* name : {"Lobby", "Cafeteria"})
            testdb::exec("INSERT INTO locations (CodeLocation) VALUES (?)", {QString::fromUtf8(name)});
        ConsoleKit h;
        hv::MainWindow& form1 = h.started();

        QCOMPARE(entries(h.list("Combo1")), QStringList({"Bob's \"Code\"", "", "Code Red", "", "Drill", ""}));
        QCOMPARE(entries(h.list("Combo2")), QStringList({"Cafeteria", "", "Lobby", ""}));
        for (const char* name : {"Combo1", "Combo2"}) {
            QCOMPARE(h.list(name)->currentIndex(), -1);
            QCOMPARE(h.list(name)->currentText(), QString());
        }
        QVERIFY(h.msg.boxes.isEmpty());
        QCOMPARE(h.exit.ends, 0);
        QCOMPARE(h.ctx.strDataPath, testdb::host());

        // What the operator sees of the window.
        QCOMPARE(form1.objectName(), QStringLiteral("Form1"));
        QCOMPARE(form1.windowTitle(), QStringLiteral("HALVANE - https://www.halvane.example"));
        QCOMPARE(form1.minimumSize(), form1.maximumSize());
        QCOMPARE(form1.findChild<QLabel*>("Label1")->text(), QStringLiteral("Select Code"));
        QCOMPARE(form1.findChild<QLabel*>("Label2")->text(), QStringLiteral("Code Location"));
        QCOMPARE(h.list("Combo1")->toolTip(), QStringLiteral("Click here to select the type of code"));
        QCOMPARE(h.list("Combo2")->toolTip(), QStringLiteral("Click here to select the codes location"));
        auto* submit = form1.findChild<QPushButton*>("Command1");
        QCOMPARE(submit->text(), QStringLiteral("Submit"));
        QCOMPARE(submit->toolTip(), QStringLiteral("Click here to Submit & Save this halvane. Once submitted all "
                                                   "computers will show the alert"));
        // The focus holder is shown but lies outside the client area.
        auto* holder = form1.findChild<QLineEdit*>("Text1");
        QVERIFY(holder->isVisible() && holder->isEnabled());
        QVERIFY(!form1.centralWidget()->rect().intersects(holder->geometry()));

        // Combo1 holds the focus at start; Tab goes Combo1, Combo2, Submit, focus holder.
        QCOMPARE(QApplication::focusWidget(), h.list("Combo1"));
        QStringList order;
        for (int i = 0; i < 4; ++i) {
            order << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(order, QStringList({"Combo1", "Combo2", "Command1", "Text1"}));

        QStringList menus;
        for (QAction* top : form1.menuBar()->actions()) {
            menus << top->menu()->objectName() + '=' + top->text();
            for (QAction* item : top->menu()->actions())
                menus << item->objectName() + '=' + item->text();
        }
        QCOMPARE(
            menus,
            QStringList({"mnuFile=File", "mnuExit=Exit", "mnuEdit=Edit", "mnuAdminProperties=Administrator Properties",
                         "mnuCancelAlert=Cancel An Alert", "mnuDelivery=Delivery", "mnuAlertDelivery=Alert Delivery",
                         "mnuWorkstations=Workstations", "mnuHelp=Help", "mnuOnTheWeb=Halvane On The Web"}));
    }

    void emptyCataloguesGiveEmptyLists() {
        ConsoleKit h;
        h.started();
        QCOMPARE(h.list("Combo1")->count(), 0);
        QCOMPARE(h.list("Combo2")->count(), 0);
        QVERIFY(h.msg.boxes.isEmpty());
        QCOMPARE(h.exit.ends, 0);
    }

    void missingIniFileEnds() {
        ConsoleKit h;
        QVERIFY(!h.make().load());
        expectSingleFatal(h, QStringLiteral("C:\\halvne.ini File Is Missing"),
                          QStringLiteral("The file C:\\halvane.ini file was not found on this computer. This file must "
                                         "be called halvane.ini and must be located on the root of the C: on this "
                                         "computer. Also make sure you have completely setup the Halvane database "
                                         "installer on the main computer that is your Server. Contact your computer "
                                         "administrator."));
    }

    void emptyIniFileEnds() {
        ConsoleKit h;
        h.writeIni({});
        QVERIFY(!h.make().load());
        expectSingleFatal(h, QStringLiteral("C:\\halvane.ini Error"),
                          QStringLiteral("The c:\\halvane.ini file was found on the root of the C: drive on this "
                                         "computer, but doesn't contain any valid database server information. The "
                                         "halvane.ini should only have one line of text in it in the following "
                                         "format. MYSQLSERVERNAME=ServerComputerName. Have it all on the first line "
                                         "with no periods, spaces or quotes. So just use MYSQLSERVERNAME= then the "
                                         "name of the network computer, host name, that is running the MYSQL server "
                                         "that you should have already installed."));
    }

    void unreachableServerShowsTwoMessagesAndEnds() {
        for (const QByteArray& host : {testdb::hostUnreachable().toLatin1(), QByteArray()}) {
            ConsoleKit h;
            h.writeIni("MYSQLSERVERNAME=" + host);
            QVERIFY(!h.make().load());
            QCOMPARE(h.msg.boxes.size(), 2);
            QCOMPARE(h.msg.boxes[0].title, kConnectTitle);
            QCOMPARE(h.msg.boxes[0].text, kConnectText);
            QCOMPARE(h.msg.boxes[1].title, kIniTitle);
            QCOMPARE(h.msg.boxes[1].text, kIniText);
            for (const ShownBox& b : h.msg.boxes) {
                QCOMPARE(b.buttons, hv::Buttons::Ok);
                QCOMPARE(b.icon, hv::Icon::Critical);
            }
            QCOMPARE(h.exit.ends, 1);
        }
    }

    void wrongPasswordEnds() {
        testdb::exec("INSERT INTO codes (CodeName) VALUES ('Code Red')");
        testdb::WrongPassword wrong;
        ConsoleKit h;
        h.writeIni("MYSQLSERVERNAME=" + testdb::host().toLatin1());
        QVERIFY(!h.make().load());
        expectSingleFatal(h, QStringLiteral("Wrong Password"),
                          QStringLiteral("You entered an incorrect password. This application will now close."));
        QCOMPARE(h.list("Combo1")->count(), 0);
    }

    // The lines after the first are read by one rule (here a node indented and in mixed case);
    // a line meant as a setting but not read is a warning on standard error, never a box.
    void furtherLinesReadAndOneReported() {
        testdb::exec("INSERT INTO codes (CodeName) VALUES ('Code Red')");
        ConsoleKit h;
        h.writeIni("MYSQLSERVERNAME=" + testdb::hostUnreachable().toLatin1() +
                   "\r\n\tMysqlServerName = " + testdb::host().toLatin1() + "\r\nHALVANEUSER halvane_console\r\n");
        QTest::ignoreMessage(QtWarningMsg, qPrintable(h.iniPath() + ", line 3: HALVANEUSER is not followed by \"=\": "
                                                                    "the line is not read."));
        QVERIFY(h.make().load());
        QVERIFY(h.msg.boxes.isEmpty());
        QCOMPARE(h.exit.ends, 0);
        QCOMPARE(h.ctx.strDataPath, testdb::hostUnreachable());
        QCOMPARE(h.ctx.furtherServers, QStringList{testdb::host()});
        QVERIFY(h.ctx.access.user.isEmpty());
        QCOMPARE(entries(h.list("Combo1")), QStringList({"Code Red", ""}));
        QCOMPARE(h.ctx.servers().preferred().host, testdb::host());
    }

    void otherFailureKeepsWhatWasFilled() {
        testdb::exec("INSERT INTO codes (CodeName) VALUES ('Code Red')");
        testdb::exec("RENAME TABLE locations TO locations_away");
        ConsoleKit h;
        h.started();
        testdb::exec("RENAME TABLE locations_away TO locations");
        QVERIFY(h.msg.boxes.isEmpty());
        QCOMPARE(h.exit.ends, 0);
        QVERIFY(h.form1->isVisible());
        QCOMPARE(entries(h.list("Combo1")), QStringList({"Code Red", ""}));
        QCOMPARE(h.list("Combo1")->currentIndex(), -1);
        QCOMPARE(h.list("Combo2")->count(), 0);
    }

    void onTheWebOpensTheMakersAddress() {
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler("https", &recorder, "open");
        ConsoleKit h;
        h.started();
        h.form1->findChild<QAction*>("mnuOnTheWeb")->trigger();
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(recorder.opened, QList<QUrl>({QUrl("https://www.halvane.example")}));
        QVERIFY(h.msg.boxes.isEmpty());
    }

    void closingTheMainWindowClosesTheOthers() {
        for (bool bySession : {false, true}) {
            ConsoleKit h;
            h.started();
            OtherWindow admin, editor;
            admin.show();
            editor.show();
            QSignalSpy closed(h.form1.get(), &hv::MainWindow::closed);
            if (bySession)
                h.form1->endSession();
            else
                h.form1->findChild<QAction*>("mnuExit")->trigger();
            QCOMPARE(closed.size(), 1);
            QVERIFY(!h.form1->isVisible());
            QVERIFY(!admin.isVisible() && !editor.isVisible());
            QCOMPARE(admin.closings, 1);
            QCOMPARE(editor.closings, 1);
            QVERIFY(h.msg.boxes.isEmpty());
        }
    }

    void closingTheMainWindowClosesTheAdministrationWindows() {
        ConsoleKit h;
        h.started();
        hv::LoginWindow* login = hv::LoginWindow::open(h.ctx);
        hv::AdminWindow* admin = hv::AdminWindow::open(h.ctx);
        QVERIFY(login->isVisible() && admin->isVisible());
        h.form1->findChild<QAction*>("mnuExit")->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!h.form1->isVisible());
        QCOMPARE(hv::LoginWindow::current(), nullptr);
        QCOMPARE(hv::AdminWindow::current(), nullptr);
        QVERIFY(h.msg.boxes.isEmpty());
    }
};

QTEST_MAIN(TestConsoleLoad)
#include "tst_console_load.moc"
