#include "ConsoleKit.h"
#include "admin/AdminWindow.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <memory>

using hv::Buttons;
using hv::Icon;

namespace {
const QString kPrompt = "Type in the Tool Tip Text that will appear on the system tray application. Use this to "
                        "customize the application to match you company.";
const QString kSaved = box("Updated Tool Tip Text",
                           "Your changes have been saved. The new System tray applications tool tip text will not show "
                           "up until it is restarted.",
                           Buttons::Ok, Icon::Information);
} // namespace

class TestAdminWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<ConsoleKit> kit;
    QPointer<hv::AdminWindow> window;

    QStringList tips() {
        QStringList out;
        for (const QSqlRecord& r : testdb::rows("SELECT TraysToolTipText FROM properties"))
            out << r.value(0).toString();
        return out;
    }

private slots:
    void init() {
        REQUIRE_DB();
        testdb::reset();
        kit = std::make_unique<ConsoleKit>();
        window = hv::AdminWindow::open(kit->ctx);
        QVERIFY(QTest::qWaitForWindowActive(window.data()));
    }
    void cleanup() {
        delete window.data();
        kit.reset();
    }

    void buttonsMenuAndFocusHolder() {
        QCOMPARE(window->objectName(), QString("Form3"));
        QCOMPARE(window->windowTitle(), QString("Properties"));
        const QList<QStringList> buttons{
            {"Command1", "Add/Edit Users", "Click here to add or edit a user"},
            {"Command2", "Add/Edit Codes", "Click here to add or edit codes"},
            {"Command3", "Add/Edit Locations", "Click here to add or edit locations"},
            {"Command4", "Edit Tray's Tool Tip Text", "Click here to edit the workstations system tray tool tip text"}};
        QWidget* holder = window->findChild<QWidget*>("Text1");
        QVERIFY(holder && holder->isVisible() && holder->isEnabled() && holder->focusPolicy() != Qt::NoFocus);
        QVERIFY(!window->rect().intersects(holder->geometry()));
        QCOMPARE(focused(), QString("Text1"));
        QWidget* previous = holder;
        int lastY = -1;
        for (const QStringList& b : buttons) {
            auto* button = window->findChild<QPushButton*>(b[0]);
            QVERIFY2(button, qPrintable(b[0]));
            QCOMPARE(button->text(), b[1]);
            QCOMPARE(button->toolTip(), b[2]);
            QVERIFY(!button->autoDefault() && !button->isDefault());
            QCOMPARE(button->size(), window->findChild<QPushButton*>("Command1")->size());
            QVERIFY(button->y() > lastY);
            lastY = button->y();
            QTest::keyClick(previous, Qt::Key_Tab);
            QCOMPARE(focused(), b[0]);
            previous = button;
        }
        auto* bar = window->findChild<QMenuBar*>();
        QVERIFY(bar);
        QStringList top;
        for (QAction* a : bar->actions())
            top << a->objectName() + "=" + a->text();
        QCOMPARE(top.first(), QString("mnuExit=Exit"));
        QVERIFY(!bar->actions().first()->menu());
        auto* reports = window->findChild<QMenu*>("mnuReport");
        QVERIFY(reports);
        QCOMPARE(reports->title(), QString("Reports"));
        QCOMPARE(bar->actions().at(1)->menu(), reports);
        QStringList items;
        for (QAction* a : reports->actions())
            items << a->objectName() + "=" + a->text();
        QCOMPARE(items, (QStringList{"mnuAllAlertsReport=All Halvane Records",
                                     "mnuSearchStringWithDate=By Search String With Date Range", "mnAllUser=All Users",
                                     "mnuAllCodes=All Codes && Comments", "mnuAllLocations=All Locations",
                                     "mnuMSGToolTipText=Display Current System Tray's Tool Tip Text"}));
        QCOMPARE(hv::AdminWindow::open(kit->ctx), window.data());
    }

    void buttonsOpenTheEditorsModally_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("caption");
        QTest::newRow("users") << "Command1"
                               << "Form4"
                               << "Add/Edit Users";
        QTest::newRow("codes") << "Command2"
                               << "Form6"
                               << "Add/Edit Codes";
        QTest::newRow("locations") << "Command3"
                                   << "Form5"
                                   << "Add/Edit Locations";
    }
    void buttonsOpenTheEditorsModally() {
        QFETCH(QString, button);
        QFETCH(QString, form);
        QFETCH(QString, caption);
        testdb::exec("INSERT INTO codes (CodeName) VALUES ('c')");
        testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('l')");
        testdb::exec("INSERT INTO users (UserName, Password) VALUES ('u', 'p')");
        QString seen;
        onNextModal([&](QWidget* modal) {
            seen = modal->objectName() + "|" + modal->windowTitle() + "|" + QString::number(modal->isModal());
            modal->close();
        });
        clickButton(window, button);
        QCOMPARE(seen, form + "|" + caption + "|1");
        QCOMPARE(shown(kit->msg.boxes), QStringList());
        QVERIFY(window->isVisible());
    }

    void toolTipSavedTrimmed() {
        kit->msg.inputs = {"  Call  the desk  "};
        clickButton(window, "Command4");
        QCOMPARE(kit->msg.prompts.size(), 1);
        QCOMPARE(kit->msg.prompts[0].first, kPrompt);
        QCOMPARE(kit->msg.prompts[0].second, QString("Type Tool Tip Text"));
        QCOMPARE(shown(kit->msg.boxes), QStringList{kSaved});
        QCOMPARE(tips(), QStringList{"Call  the desk"});
        // Saving the same text again still succeeds.
        kit->msg.boxes.clear();
        kit->msg.inputs = {"Call  the desk"};
        clickButton(window, "Command4");
        QCOMPARE(shown(kit->msg.boxes), QStringList{kSaved});
    }

    void toolTipCancelOrBlankWritesNothing_data() {
        QTest::addColumn<QStringList>("answer");
        QTest::newRow("cancel") << QStringList();
        QTest::newRow("empty") << QStringList{""};
        QTest::newRow("spaces") << QStringList{"     "};
    }
    void toolTipCancelOrBlankWritesNothing() {
        QFETCH(QStringList, answer);
        kit->msg.inputs = answer;
        clickButton(window, "Command4");
        QCOMPARE(kit->msg.prompts.size(), 1);
        QCOMPARE(shown(kit->msg.boxes), QStringList());
        QCOMPARE(tips(), QStringList{"Halvane test tip"});
    }

    void toolTipWithoutPropertiesRowOrServer() {
        testdb::exec("DELETE FROM properties");
        kit->msg.inputs = {"tip"};
        clickButton(window, "Command4");
        QCOMPARE(shown(kit->msg.boxes),
                 QStringList{box("Tool Tip Text Not Saved",
                                 "The database holds no properties record to keep the tool tip text in. Nothing has "
                                 "been saved. Contact your computer administrator",
                                 Buttons::Ok, Icon::Critical)});
        QCOMPARE(tips(), QStringList());

        kit->msg.boxes.clear();
        kit->ctx.strDataPath = testdb::hostUnreachable();
        kit->msg.inputs = {"tip"};
        clickButton(window, "Command4");
        QCOMPARE(shown(kit->msg.boxes),
                 QStringList{box("Tool Tip Text Not Saved",
                                 "Nothing has been saved. The connection to the MYSQL database could not be made or "
                                 "was lost. Make sure the main computer is running and port 3306 is open in your "
                                 "firewall. Contact your computer administrator",
                                 Buttons::Ok, Icon::Critical)});
        QCOMPARE(kit->exit.ends, 0);
        QVERIFY(window->isVisible());
    }

    // Every workstation's read-aloud setting: the menu shows what is stored, a choice is stored at
    // once, and a database without the setting's table says so and keeps it off.
    void readAloudForAllWorkstations() {
        auto* menu = window->findChild<QMenu*>("mnuWorkstations");
        QVERIFY(menu);
        QCOMPARE(menu->title(), QString("Workstations"));
        auto* bar = window->findChild<QMenuBar*>();
        QCOMPARE(bar->actions().at(2)->menu(), menu);
        QAction* item = window->findChild<QAction*>("mnuReadAloud");
        QVERIFY(item && item->isCheckable());
        QCOMPARE(item->text(), QString("Read Alerts Aloud"));
        auto stored = [] { return testdb::rows("SELECT ID, ReadAloud FROM traysettings"); };

        emit menu->aboutToShow();
        QVERIFY(!item->isChecked());
        item->trigger();
        QCOMPARE(stored().size(), 1);
        QCOMPARE(stored()[0].value("ReadAloud").toInt(), 1);
        testdb::exec("UPDATE traysettings SET ReadAloud = 0"); // another console turned it off
        emit menu->aboutToShow();
        QVERIFY(!item->isChecked());
        item->trigger();
        item->trigger();
        QCOMPARE(stored().size(), 1);
        QCOMPARE(stored()[0].value("ReadAloud").toInt(), 0);
        QCOMPARE(shown(kit->msg.boxes), QStringList());

        testdb::exec("DROP TABLE traysettings");
        auto restore = qScopeGuard([] { testdb::upgrade(); });
        emit menu->aboutToShow();
        QVERIFY(!item->isChecked());
        item->trigger();
        QVERIFY(!item->isChecked());
        QCOMPARE(shown(kit->msg.boxes),
                 QStringList{box("Read Aloud Not Saved",
                                 "Nothing has been saved. The MYSQL database has no table for this setting yet: run "
                                 "upgrade.sql on it. Contact your computer administrator",
                                 Buttons::Ok, Icon::Critical)});
        QCOMPARE(kit->exit.ends, 0);
        // The upgrade adds the table and leaves what is there, as often as it runs.
        testdb::upgrade();
        testdb::exec("INSERT INTO traysettings (ID, ReadAloud) VALUES (1, 1)");
        testdb::upgrade();
        QCOMPARE(stored()[0].value("ReadAloud").toInt(), 1);
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM properties").toInt(), 1);
    }

    void exitAndCloseBoxReleaseTheWindow() {
        window->findChild<QAction*>("mnuExit")->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window.isNull());
        QVERIFY(!hv::AdminWindow::current());
        window = hv::AdminWindow::open(kit->ctx);
        QVERIFY(QTest::qWaitForWindowActive(window.data()));
        QCOMPARE(focused(), QString("Text1"));
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window.isNull());
    }
};

QTEST_MAIN(TestAdminWindow)
#include "tst_admin_window.moc"
