#include "ConsoleKit.h"
#include "admin/CatalogueEditor.h"
#include "admin/EditorConfig.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>

using hv::Buttons;
using hv::Icon;

namespace {

// What a user of each editor sees, written out independently of the editor's own table.
struct Catalogue {
    QString form, caption, table, nameColumn, secondColumn, secondField, holder, addNewTip;
    QString blankName, duplicateTitle, duplicateText, addedStart;
    bool deletedBox;
    hv::EditorConfig (*config)();
};

const QString kBlankTail = QStringLiteral(" field is blank. If you don't want to create a new record click Cancel.");

const Catalogue kUsers{"Form4",
                       "Add/Edit Users",
                       "users",
                       "UserName",
                       "Password",
                       "Text2",
                       "Text3",
                       "Create a new User Name record",
                       "The User Name" + kBlankTail,
                       "Duplicate User Name Detected",
                       "There is already a User with that name. Please make the change before updating.",
                       "User Name (",
                       true,
                       hv::EditorConfig::users};
const Catalogue kLocations{"Form5",
                           "Add/Edit Locations",
                           "locations",
                           "CodeLocation",
                           "",
                           "",
                           "Text2",
                           "Create a New Location record",
                           "The Priority Name" + kBlankTail,
                           "Duplicate Name Detected",
                           "There is Location Named that in the database. Please make the change before updating.",
                           "Location Name (",
                           false,
                           hv::EditorConfig::locations};
const Catalogue kCodes{"Form6",
                       "Add/Edit Codes",
                       "codes",
                       "CodeName",
                       "Comments",
                       "Text3",
                       "Text2",
                       "Create a New record",
                       "The Code Name" + kBlankTail,
                       "Duplicate Name Detected",
                       "There is Code Named that in the database. Please make the change before updating.",
                       "Code Name (",
                       false,
                       hv::EditorConfig::codes};

const Catalogue& catalogue(const QString& form) {
    return form == "Form4" ? kUsers : form == "Form5" ? kLocations : kCodes;
}

const QString kFirst = box("First Record", "You are at the first record.", Buttons::Ok, Icon::Information);
const QString kLast = box("Last Record", "You are at the last record.", Buttons::Ok, Icon::Information);
const QString kSavedChanges = box("Updates", "Your changes have been saved.", Buttons::Ok, Icon::Information);
const QString kDeleteQuestion =
    box("Delete?", "Are you sure you want to delete this Record?", Buttons::YesNo, Icon::Question);
const QString kNoRecordToDelete = box("No Record To Delete", "No Record to Delete.", Buttons::Ok, Icon::None);
const QString kUserDeleted = box("Deleted", "The user has been deleted.", Buttons::Ok, Icon::Information);

} // namespace

class TestCatalogueEditor : public QObject {
    Q_OBJECT

    std::unique_ptr<ConsoleKit> kit;
    std::unique_ptr<hv::CatalogueEditor> editor;
    const Catalogue* cat = nullptr;

    void addRow(const QString& name, const QString& second = "second") {
        if (cat->secondColumn.isEmpty())
            testdb::exec(QString("INSERT INTO %1 (%2) VALUES (?)").arg(cat->table, cat->nameColumn), {name});
        else
            testdb::exec(
                QString("INSERT INTO %1 (%2, %3) VALUES (?, ?)").arg(cat->table, cat->nameColumn, cat->secondColumn),
                {name, second});
    }
    // The rows as "name/second", in byte order so that case and trailing blanks are visible.
    QStringList stored() {
        QStringList out;
        const QString second = cat->secondColumn.isEmpty() ? QString("''") : cat->secondColumn;
        for (const QSqlRecord& r : testdb::rows(QString("SELECT %1, %2 FROM %3 ORDER BY BINARY %1, BINARY %2")
                                                    .arg(cat->nameColumn, second, cat->table)))
            out << (r.value(0).isNull() ? "NULL" : "[" + r.value(0).toString() + "]") +
                       (cat->secondColumn.isEmpty() ? QString() : "/" + r.value(1).toString());
        return out;
    }
    std::unique_ptr<hv::CatalogueEditor> open(ConsoleKit& k) {
        auto e = std::make_unique<hv::CatalogueEditor>(cat->config(), k.ctx);
        if (!e->load()) return nullptr;
        e->show();
        e->activateWindow();
        if (!QTest::qWaitForWindowActive(e.get())) qWarning("the editor window did not become active");
        return e;
    }
    bool openEditor() {
        editor = open(*kit);
        return editor != nullptr;
    }
    QAbstractButton* button(const QString& name) { return editor->findChild<QAbstractButton*>(name); }
    void fillNew(const QString& name, const QString& second = "pw") {
        typeInto(editor.get(), "Text1", name);
        if (!cat->secondField.isEmpty()) typeInto(editor.get(), cat->secondField, second);
    }

    static void forms_data() {
        QTest::addColumn<QString>("form");
        QTest::newRow("users") << "Form4";
        QTest::newRow("locations") << "Form5";
        QTest::newRow("codes") << "Form6";
    }

private slots:
    void init() {
        REQUIRE_DB();
        testdb::reset();
        kit = std::make_unique<ConsoleKit>();
    }
    void cleanup() {
        editor.reset();
        kit.reset();
    }

    void opensOnFirstRowWithFocusOutOfSight_data() { forms_data(); }
    void opensOnFirstRowWithFocusOutOfSight() {
        QFETCH(QString, form);
        cat = &catalogue(form);
        addRow("Charlie");
        addRow("alpha", "a-second");
        addRow("Bravo");
        QVERIFY(openEditor());
        QCOMPARE(editor->objectName(), cat->form);
        QCOMPARE(editor->windowTitle(), cat->caption);
        QCOMPARE(shown(kit->msg.boxes), QStringList());
        QCOMPARE(textOf(editor.get(), "Text1"), QString("alpha"));
        if (!cat->secondField.isEmpty()) QCOMPARE(textOf(editor.get(), cat->secondField), QString("a-second"));
        QCOMPARE(button("Command2")->text(), QString("Add New"));
        QCOMPARE(button("Command2")->toolTip(), cat->addNewTip);
        QCOMPARE(button("Command3")->text(), QString("Update"));
        QCOMPARE(button("Command4")->text(), QString("Delete"));
        for (auto* b : editor->findChildren<QPushButton*>())
            QVERIFY2(!b->autoDefault() && !b->isDefault(), qPrintable(b->objectName()));
        // The focus holder has the focus, is a real focusable field, and lies outside the window.
        QCOMPARE(focused(), cat->holder);
        QWidget* holder = editor->findChild<QWidget*>(cat->holder);
        QVERIFY(holder->isVisible() && holder->isEnabled() && holder->focusPolicy() != Qt::NoFocus);
        QVERIFY(!editor->rect().intersects(holder->geometry()));
        QTest::keyClick(holder, Qt::Key_Tab);
        QCOMPARE(focused(), QString("Text1"));
        QCOMPARE(stored().size(), 3);
    }

    void emptyTable_data() { forms_data(); }
    void emptyTable() {
        QFETCH(QString, form);
        cat = &catalogue(form);
        QVERIFY(openEditor());
        QCOMPARE(shown(kit->msg.boxes), QStringList{kFirst});
        QCOMPARE(textOf(editor.get(), "Text1"), QString());
        QVERIFY(!button("cmdMovePrevious")->isEnabled());
        // "Update" with nothing typed meets the blank check; with a name typed there is no row to
        // write it into.
        kit->msg.boxes.clear();
        clickButton(editor.get(), "Command3");
        QCOMPARE(shown(kit->msg.boxes),
                 QStringList{box("Empty Field", cat->blankName, Buttons::Ok, Icon::Information)});
        QCOMPARE(focused(), QString("Text1"));
        fillNew("Ghost");
        kit->msg.boxes.clear();
        clickButton(editor.get(), "Command3");
        QCOMPARE(shown(kit->msg.boxes),
                 QStringList{box("No Record To Update",
                                 "There is no record to update. Click Add New to create a new record.", Buttons::Ok,
                                 Icon::Information)});
        QCOMPARE(stored(), QStringList());
        QVERIFY(editor->isVisible());
    }

    void firstAndLastRecord_data() { forms_data(); }
    void firstAndLastRecord() {
        QFETCH(QString, form);
        cat = &catalogue(form);
        addRow("Bravo");
        addRow("alpha");
        addRow("Charlie");
        QVERIFY(openEditor());
        clickButton(editor.get(), "cmdMoveNext");
        QCOMPARE(textOf(editor.get(), "Text1"), QString("Bravo"));
        QCOMPARE(focused(), cat->holder);
        clickButton(editor.get(), "cmdMoveNext");
        clickButton(editor.get(), "cmdMoveNext");
        QCOMPARE(shown(kit->msg.boxes), QStringList{kLast});
        QCOMPARE(textOf(editor.get(), "Text1"), QString("Charlie"));
        QVERIFY(!button("cmdMoveNext")->isEnabled());
        QCOMPARE(focused(), cat->holder);
        clickButton(editor.get(), "cmdMovePrevious");
        QVERIFY(button("cmdMoveNext")->isEnabled());
        QCOMPARE(textOf(editor.get(), "Text1"), QString("Bravo"));
        clickButton(editor.get(), "cmdMovePrevious");
        clickButton(editor.get(), "cmdMovePrevious");
        QCOMPARE(shown(kit->msg.boxes), (QStringList{kLast, kFirst}));
        QCOMPARE(textOf(editor.get(), "Text1"), QString("alpha"));
        QVERIFY(!button("cmdMovePrevious")->isEnabled());
        clickButton(editor.get(), "cmdMoveNext");
        QVERIFY(button("cmdMovePrevious")->isEnabled());
    }

    void addNewDuplicateAndVariants_data() { forms_data(); }
    void addNewDuplicateAndVariants() {
        QFETCH(QString, form);
        cat = &catalogue(form);
        addRow("Bravo", "b");
        addRow("alpha", "a");
        QVERIFY(openEditor());
        clickButton(editor.get(), "Command2");
        QCOMPARE(button("Command2")->text(), QString("Cancel"));
        QCOMPARE(button("Command2")->toolTip(), QString("Click here to cancel"));
        QCOMPARE(textOf(editor.get(), "Text1"), QString());
        if (!cat->secondField.isEmpty()) QCOMPARE(textOf(editor.get(), cat->secondField), QString());
        for (const char* b : {"Command3", "Command4", "cmdMovePrevious", "cmdMoveNext"})
            QVERIFY2(!button(b)->isEnabled(), b);
        QCOMPARE(focused(), QString("Text1"));

        fillNew("Bravo");
        QVERIFY(button("Command3")->isEnabled());
        clickButton(editor.get(), "Command3");
        QCOMPARE(shown(kit->msg.boxes),
                 QStringList{box(cat->duplicateTitle, cat->duplicateText, Buttons::Ok, Icon::Critical)});
        QCOMPARE(focused(), QString("Text1"));
        QCOMPARE(button("Command2")->text(), QString("Cancel"));
        QCOMPARE(textOf(editor.get(), "Text1"), QString("Bravo"));

        // Letter case and a trailing blank make a different name.
        for (const QString& name : {QString("bravo"), QString("Bravo "), QString("   ")}) {
            kit->msg.boxes.clear();
            if (button("Command2")->text() == "Add New") clickButton(editor.get(), "Command2");
            fillNew(name, "n");
            clickButton(editor.get(), "Command3");
            QCOMPARE(shown(kit->msg.boxes),
                     QStringList{box("Saved", cat->addedStart + name + ") has been added to the database.", Buttons::Ok,
                                     Icon::None)});
            QCOMPARE(button("Command2")->text(), QString("Add New"));
            QCOMPARE(button("Command2")->toolTip(), QString("Click here to add a new record"));
            for (const char* b : {"Command4", "cmdMovePrevious", "cmdMoveNext"})
                QVERIFY2(button(b)->isEnabled(), b);
            QCOMPARE(focused(), cat->holder);
        }
        // After every save the first row in name order is shown.
        QCOMPARE(textOf(editor.get(), "Text1"), QString("   "));
        const QString n = cat->secondColumn.isEmpty() ? "" : "/n";
        const QString a = cat->secondColumn.isEmpty() ? "" : "/a";
        const QString b = cat->secondColumn.isEmpty() ? "" : "/b";
        QCOMPARE(stored(), (QStringList{"[   ]" + n, "[Bravo]" + b, "[Bravo ]" + n, "[alpha]" + a, "[bravo]" + n}));
    }

    void cancelAndRenameToExistingName_data() { forms_data(); }
    void cancelAndRenameToExistingName() {
        QFETCH(QString, form);
        cat = &catalogue(form);
        addRow("alpha", "a");
        addRow("Bravo", "b");
        QVERIFY(openEditor());
        clickButton(editor.get(), "cmdMoveNext");
        clickButton(editor.get(), "Command2");
        fillNew("typed");
        clickButton(editor.get(), "Command2");
        QCOMPARE(button("Command2")->text(), QString("Add New"));
        QCOMPARE(button("Command2")->toolTip(), QString("Click here to add a new record"));
        QCOMPARE(textOf(editor.get(), "Text1"), QString("Bravo"));
        QCOMPARE(focused(), cat->holder);
        for (const char* b : {"Command3", "Command4", "cmdMovePrevious", "cmdMoveNext"})
            QVERIFY2(button(b)->isEnabled(), b);

        // Browse mode makes no duplicate check: "Bravo" may become "alpha".
        typeInto(editor.get(), "Text1", "alpha");
        clickButton(editor.get(), "Command3");
        QCOMPARE(shown(kit->msg.boxes), QStringList{kSavedChanges});
        QCOMPARE(focused(), cat->holder);
        const QString a = cat->secondColumn.isEmpty() ? "" : "/a";
        const QString b = cat->secondColumn.isEmpty() ? "" : "/b";
        QCOMPARE(stored(), (QStringList{"[alpha]" + a, "[alpha]" + b}));
    }

    void deleteAnsweredNoThenYes_data() { forms_data(); }
    void deleteAnsweredNoThenYes() {
        QFETCH(QString, form);
        cat = &catalogue(form);
        addRow("alpha", "a");
        addRow("Bravo", "b");
        QVERIFY(openEditor());
        clickButton(editor.get(), "cmdMoveNext");
        kit->msg.answers = {hv::Answer::No};
        clickButton(editor.get(), "Command4");
        QCOMPARE(shown(kit->msg.boxes), QStringList{kDeleteQuestion});
        QCOMPARE(focused(), QString("Text1"));
        QCOMPARE(editor->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(stored().size(), 2);

        kit->msg.boxes.clear();
        kit->msg.answers = {hv::Answer::Yes};
        clickButton(editor.get(), "Command4");
        QStringList expected{kDeleteQuestion};
        if (cat->deletedBox) expected << kUserDeleted;
        QCOMPARE(shown(kit->msg.boxes), expected);
        QCOMPARE(textOf(editor.get(), "Text1"), QString("alpha"));
        QCOMPARE(focused(), cat->holder);
        QCOMPARE(editor->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(stored(), QStringList{"[alpha]" + QString(cat->secondColumn.isEmpty() ? "" : "/a")});

        // An empty name field has nothing to delete.
        clickButton(editor.get(), "Command2");
        kit->msg.boxes.clear();
        clickButton(editor.get(), "Command2");
        typeInto(editor.get(), "Text1", "");
        clickButton(editor.get(), "Command4");
        QCOMPARE(shown(kit->msg.boxes), QStringList{kNoRecordToDelete});
        QCOMPARE(editor->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(stored().size(), 1);
    }

    void deletingTheLastRowClearsTheFields_data() { forms_data(); }
    void deletingTheLastRowClearsTheFields() {
        QFETCH(QString, form);
        cat = &catalogue(form);
        addRow("only", "secret");
        QVERIFY(openEditor());
        kit->msg.answers = {hv::Answer::Yes};
        clickButton(editor.get(), "Command4");
        QStringList expected{kDeleteQuestion, kFirst};
        if (cat->deletedBox) expected << kUserDeleted;
        QCOMPARE(shown(kit->msg.boxes), expected);
        QCOMPARE(textOf(editor.get(), "Text1"), QString());
        if (!cat->secondField.isEmpty()) QCOMPARE(textOf(editor.get(), cat->secondField), QString());
        QCOMPARE(stored(), QStringList());

        // A name typed on the now empty list has no row behind it: nothing is reported deleted.
        typeInto(editor.get(), "Text1", "only");
        kit->msg.boxes.clear();
        kit->msg.answers = {hv::Answer::Yes};
        clickButton(editor.get(), "Command4");
        QCOMPARE(shown(kit->msg.boxes), (QStringList{kDeleteQuestion, kNoRecordToDelete}));
    }

    void anotherConsoleChangedTheRow_data() { forms_data(); }
    void anotherConsoleChangedTheRow() {
        QFETCH(QString, form);
        cat = &catalogue(form);
        addRow("alpha", "a");
        addRow("alpha", "a");
        addRow("Bravo", "b");
        QVERIFY(openEditor());
        ConsoleKit otherKit;
        auto other = open(otherKit);
        QVERIFY(other);

        // Two identical rows: a save changes exactly one of them.
        typeInto(editor.get(), "Text1", "first");
        clickButton(editor.get(), "Command3");
        QCOMPARE(shown(kit->msg.boxes), QStringList{kSavedChanges});

        // The other console still shows the Bravo row as it was; the first changes it meanwhile.
        clickButton(editor.get(), "cmdMoveNext");
        QCOMPARE(textOf(editor.get(), "Text1"), QString("Bravo"));
        typeInto(editor.get(), "Text1", "Bravo by first");
        clickButton(editor.get(), "Command3");

        other->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(other.get()));
        clickButton(other.get(), "cmdMoveNext");
        clickButton(other.get(), "cmdMoveNext");
        QCOMPARE(textOf(other.get(), "Text1"), QString("Bravo"));
        typeInto(other.get(), "Text1", "Bravo by second");
        clickButton(other.get(), "Command3");
        const QString changed = box("Record Changed",
                                    "This record has been changed or deleted at another computer since it was shown. "
                                    "Your changes have not been saved. The records are shown again as they are now.",
                                    Buttons::Ok, Icon::Information);
        QCOMPARE(shown(otherKit.msg.boxes), QStringList{changed});
        // A delete of a row that is no longer as shown deletes nothing.
        clickButton(other.get(), "cmdMoveNext");
        clickButton(other.get(), "cmdMoveNext");
        QCOMPARE(textOf(other.get(), "Text1"), QString("first"));
        testdb::exec(QString("UPDATE %1 SET %2 = 'renamed' WHERE %2 = 'first'").arg(cat->table, cat->nameColumn));
        otherKit.msg.boxes.clear();
        otherKit.msg.answers = {hv::Answer::Yes};
        clickButton(other.get(), "Command4");
        QCOMPARE(shown(otherKit.msg.boxes),
                 (QStringList{kDeleteQuestion,
                              box("Record Changed",
                                  "This record has been changed or deleted at another computer since it was shown. "
                                  "Nothing has been deleted. The records are shown again as they are now.",
                                  Buttons::Ok, Icon::Information)}));
        QCOMPARE(other->cursor().shape(), Qt::ArrowCursor);

        const QString a = cat->secondColumn.isEmpty() ? "" : "/a";
        const QString b = cat->secondColumn.isEmpty() ? "" : "/b";
        QCOMPARE(stored(), (QStringList{"[Bravo by first]" + b, "[alpha]" + a, "[renamed]" + a}));
    }

    void longStoredValueStaysWhole_data() { forms_data(); }
    void longStoredValueStaysWhole() {
        QFETCH(QString, form);
        cat = &catalogue(form);
        const QString longName = QString("N").repeated(200) + "end";
        addRow(longName, "old");
        QVERIFY(openEditor());
        QCOMPARE(textOf(editor.get(), "Text1"), longName);
        if (!cat->secondField.isEmpty()) typeInto(editor.get(), cat->secondField, "new");
        clickButton(editor.get(), "Command3");
        QCOMPARE(shown(kit->msg.boxes), QStringList{kSavedChanges});
        QCOMPARE(stored(), QStringList{"[" + longName + "]" + (cat->secondColumn.isEmpty() ? "" : "/new")});
        // Typing never goes past the field's limit.
        clickButton(editor.get(), "Command2");
        typeInto(editor.get(), "Text1", QString("x").repeated(260));
        const int limit = cat == &kUsers ? 50 : cat == &kLocations ? 150 : 100;
        QCOMPARE(textOf(editor.get(), "Text1").size(), limit);
        if (cat == &kCodes) {
            typeInto(editor.get(), "Text3", QString("c").repeated(230));
            QCOMPARE(textOf(editor.get(), "Text3").size(), 200);
        }
        if (cat == &kUsers) {
            typeInto(editor.get(), "Text2", QString("p").repeated(70));
            QCOMPARE(textOf(editor.get(), "Text2").size(), 50);
        }
    }

    void saveRefusedByTheServerLeavesRowsAndEditorUsable_data() { forms_data(); }
    void saveRefusedByTheServerLeavesRowsAndEditorUsable() {
        QFETCH(QString, form);
        cat = &catalogue(form);
        addRow("alpha", "a");
        {
            // Rights are fixed when a session starts: the editor opens while it may only read.
            testdb::ReadOnlyRights readOnly;
            QVERIFY(openEditor());
            clickButton(editor.get(), "Command2");
            fillNew("newone", "n");
            clickButton(editor.get(), "Command3");
            QCOMPARE(shown(kit->msg.boxes),
                     QStringList{box("Update Failed",
                                     "The new record has not been added. The MYSQL database denied permission for "
                                     "this. Contact your computer administrator",
                                     Buttons::Ok, Icon::Critical)});
            QCOMPARE(button("Command2")->text(), QString("Cancel"));
            QCOMPARE(textOf(editor.get(), "Text1"), QString("newone"));
        }
        kit->msg.boxes.clear();
        clickButton(editor.get(), "Command3");
        QCOMPARE(shown(kit->msg.boxes),
                 QStringList{box("Saved", cat->addedStart + "newone) has been added to the database.", Buttons::Ok,
                                 Icon::None)});
        QCOMPARE(stored().size(), 2);
        QCOMPARE(kit->exit.ends, 0);
    }

    void loadFailures_data() {
        QTest::addColumn<QString>("form");
        QTest::addColumn<bool>("wrongPassword");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<int>("ends");
        const QString unreachable = "The connection to the MYSQL database could not be made or was lost. Make sure "
                                    "the main computer is running and port 3306 is open in your firewall.";
        for (const auto& [form, plural] : {std::pair{"Form4", "users"}, std::pair{"Form6", "codes"}}) {
            const QString start = QString("The %1 could not be read from the database, so the window will not open. ")
                                      .arg(QLatin1String(plural));
            QTest::addRow("%s unreachable", form)
                << form << false
                << QStringList{box("Database Error", start + unreachable + " Contact your computer administrator",
                                   Buttons::Ok, Icon::Critical)}
                << 0;
            QTest::addRow("%s wrong password", form)
                << form << true
                << QStringList{box("Database Error",
                                   start + "The MYSQL database refused the login. Contact your computer administrator",
                                   Buttons::Ok, Icon::Critical)}
                << 0;
        }
        QTest::newRow("Form5 unreachable")
            << "Form5" << false
            << QStringList{box("Database Not Found", "Database not found. Contact your computer administrator",
                               Buttons::Ok, Icon::Critical)}
            << 1;
        QTest::newRow("Form5 wrong password")
            << "Form5" << true
            << QStringList{box("Wrong Password", "You entered an incorrect password. This application will now close.",
                               Buttons::Ok, Icon::Critical)}
            << 1;
    }
    void loadFailures() {
        QFETCH(QString, form);
        QFETCH(bool, wrongPassword);
        QFETCH(QStringList, boxes);
        QFETCH(int, ends);
        cat = &catalogue(form);
        addRow("alpha", "a");
        std::unique_ptr<testdb::WrongPassword> refuse;
        if (wrongPassword)
            refuse = std::make_unique<testdb::WrongPassword>();
        else
            kit->ctx.strDataPath = testdb::hostUnreachable();
        hv::CatalogueEditor e(cat->config(), kit->ctx);
        QVERIFY(!e.load());
        QCOMPARE(shown(kit->msg.boxes), boxes);
        QCOMPARE(kit->exit.ends, ends);
        refuse.reset();
        QCOMPARE(stored().size(), 1);
    }

    void usersBlankChecksInOrder() {
        cat = &kUsers;
        addRow("alpha", "a");
        QVERIFY(openEditor());
        clickButton(editor.get(), "Command2");
        // The password changed last decides whether "Update" may be clicked.
        typeInto(editor.get(), "Text2", "pw");
        QVERIFY(button("Command3")->isEnabled());
        clickButton(editor.get(), "Command3");
        typeInto(editor.get(), "Text2", "");
        typeInto(editor.get(), "Text1", "bob");
        clickButton(editor.get(), "Command3");
        const QString nameBlank = box("Empty Field", kUsers.blankName, Buttons::Ok, Icon::Information);
        const QString passwordBlank =
            box("Empty Field", "The Password Name" + kBlankTail, Buttons::Ok, Icon::Information);
        QCOMPARE(shown(kit->msg.boxes), (QStringList{nameBlank, passwordBlank}));
        QCOMPARE(focused(), QString("Text2"));
        QCOMPARE(stored(), QStringList{"[alpha]/a"});
    }

    void usersEnterInPasswordTogglesTheMode() {
        cat = &kUsers;
        addRow("alpha", "a");
        QVERIFY(openEditor());
        // Browsing: Enter clears both fields and starts an add.
        QTest::mouseClick(editor->findChild<QWidget*>("Text2"), Qt::LeftButton);
        QTest::keyClick(editor->findChild<QWidget*>("Text2"), Qt::Key_Return);
        QCOMPARE(button("Command2")->text(), QString("Cancel"));
        QCOMPARE(textOf(editor.get(), "Text1"), QString());
        QCOMPARE(textOf(editor.get(), "Text2"), QString());
        // Adding: Enter cancels and drops what was typed.
        fillNew("bob", "bobpw");
        QTest::keyClick(editor->findChild<QWidget*>("Text2"), Qt::Key_Enter);
        QCOMPARE(button("Command2")->text(), QString("Add New"));
        QCOMPARE(textOf(editor.get(), "Text1"), QString("alpha"));
        QCOMPARE(textOf(editor.get(), "Text2"), QString("a"));
        QCOMPARE(focused(), QString("Text3"));
        QCOMPARE(shown(kit->msg.boxes), QStringList());
        QCOMPARE(stored(), QStringList{"[alpha]/a"});
    }

    void lostConnectionIsReportedAndTheEditorRecovers() {
        cat = &kCodes;
        addRow("alpha", "a");
        QVERIFY(openEditor());
        typeInto(editor.get(), "Text3", "changed");
        QVERIFY2(testdb::stopServer(), "could not stop the test server");
        clickButton(editor.get(), "Command3");
        const bool restarted = testdb::startServer();
        QVERIFY2(restarted, "could not start the test server again");
        QCOMPARE(shown(kit->msg.boxes),
                 QStringList{box("Update Failed",
                                 "Your changes have not been saved. The connection to the MYSQL database could not be "
                                 "made or was lost. Make sure the main computer is running and port 3306 is open in "
                                 "your firewall. Contact your computer administrator",
                                 Buttons::Ok, Icon::Critical)});
        QCOMPARE(stored(), QStringList{"[alpha]/a"});
        kit->msg.boxes.clear();
        clickButton(editor.get(), "Command3");
        QCOMPARE(shown(kit->msg.boxes), QStringList{kSavedChanges});
        QCOMPARE(stored(), QStringList{"[alpha]/changed"});
        QCOMPARE(kit->exit.ends, 0);
    }
};

QTEST_MAIN(TestCatalogueEditor)
#include "tst_catalogue_editor.moc"
