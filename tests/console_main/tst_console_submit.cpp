// Submitting an alert from the main window against the private server: the checks, the custom
// message, both rows, the purge, and every failure on the way.
#include "Connection.h"
#include "ConsoleKit.h"
#include "Formats.h"

#include <QClipboard>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>

namespace {

const QString kSavedText = QStringLiteral("The new halvane record has been saved to the database.");
const QString kQuestion = QStringLiteral(
    "Would you like to type a custom message? This message will be in the popup window on each PC running HALVANE.");

// Each row of a table as "name|message|date|time|location|comments", NULL shown as <NULL>.
QStringList stored(const char* table) {
    QStringList out;
    const auto rows =
        testdb::rows(QStringLiteral("SELECT CodeName, CodeMessage, DATE_FORMAT(CodeDate, '%Y-%m-%d'), "
                                    "TIME_FORMAT(CodeTime, '%H:%i:%s'), CodeLocation, Comments FROM %1 ORDER BY ID")
                         .arg(QLatin1String(table)));
    for (const QSqlRecord& r : rows) {
        QStringList cols;
        for (int i = 0; i < r.count(); ++i)
            cols << (r.value(i).isNull() ? QStringLiteral("<NULL>") : r.value(i).toString());
        out << cols.join(u'|');
    }
    return out;
}

int count(const char* table) {
    return testdb::scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table))).toInt();
}

void addAlert(const char* table, const QDate& d, const QString& t, const QString& name) {
    testdb::exec(QStringLiteral("INSERT INTO %1 (CodeName, CodeDate, CodeTime, CodeLocation) VALUES (?, ?, ?, 'Lobby')")
                     .arg(QLatin1String(table)),
                 {name, d.toString(Qt::ISODate), t});
}

QString row(const QString& name, const QString& message, const QDateTime& at, const QString& location,
            const QString& comments) {
    return QStringList({name, message, at.date().toString(Qt::ISODate), at.time().toString("HH:mm") + ":00", location,
                        comments})
        .join(u'|');
}

QString clockText(const QDateTime& at) {
    const QLocale loc = QLocale::system();
    const QTime t = at.time();
    return hv::formatMonthDayYear(at.date()) + u' ' +
           QStringLiteral("%1:%2:%3 %4")
               .arg(t.hour() % 12 == 0 ? 12 : t.hour() % 12)
               .arg(t.minute(), 2, 10, QLatin1Char('0'))
               .arg(t.second(), 2, 10, QLatin1Char('0'))
               .arg(t.hour() < 12 ? loc.amText() : loc.pmText());
}

// Lets the product's account read everything but write only the live table.
struct LiveTableOnly {
    LiveTableOnly() {
        testdb::adminExec("REVOKE ALL PRIVILEGES, GRANT OPTION FROM root@'127.0.0.1'");
        testdb::adminExec("GRANT SELECT ON halvane.* TO root@'127.0.0.1'");
        testdb::adminExec("GRANT INSERT, DELETE ON halvane.alerts TO root@'127.0.0.1'");
    }
    ~LiveTableOnly() {
        testdb::adminExec("REVOKE ALL PRIVILEGES, GRANT OPTION FROM root@'127.0.0.1'");
        testdb::adminExec("GRANT ALL PRIVILEGES ON *.* TO root@'127.0.0.1' WITH GRANT OPTION");
    }
};

} // namespace

class TestConsoleSubmit : public QObject {
    Q_OBJECT

    void click(ConsoleKit& h) { QTest::mouseClick(h.form1->findChild<QPushButton*>("Command1"), Qt::LeftButton); }

    void expectBox(const ShownBox& b, const QString& title, const QString& text, hv::Buttons buttons, hv::Icon icon,
                   const QString& focus) {
        QCOMPARE(b.title, title);
        QCOMPARE(b.text, text);
        QCOMPARE(b.buttons, buttons);
        QCOMPARE(b.icon, icon);
        QCOMPARE(b.focusAtShow, focus);
    }

    // After the custom message window the desktop hands the activation back to the main window in
    // its own time; the focus is then checked once that has happened.
    void expectSaved(const ConsoleKit& h, bool afterForm7 = false) {
        QCOMPARE(h.titles(), QStringList({"Custom Message", "Halvane Saved"}));
        expectBox(h.msg.boxes[0], "Custom Message", kQuestion, hv::Buttons::YesNo, hv::Icon::None, "Text1");
        expectBox(h.msg.boxes[1], "Halvane Saved", kSavedText, hv::Buttons::Ok, hv::Icon::Information,
                  afterForm7 ? h.msg.boxes[1].focusAtShow : QStringLiteral("Text1"));
        QCOMPARE(h.exit.ends, 0);
        if (afterForm7) {
            QVERIFY(QTest::qWaitForWindowActive(h.form1.get()));
            QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Text1"));
        }
    }

    void expectListsCleared(const ConsoleKit& h) {
        for (const char* name : {"Combo1", "Combo2"}) {
            QCOMPARE(h.list(name)->currentIndex(), -1);
            QCOMPARE(h.list(name)->currentText(), QString());
        }
    }

private slots:
    void init() {
        REQUIRE_DB();
        testdb::reset();
        testdb::exec("DROP TRIGGER IF EXISTS alertlog_refuses");
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('Code Red', '  All out to the yard  '), "
                     "('Drill', NULL), ('Gone', 'stale text'), ('Bob''s \"Code\"', 'quoted')");
        testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('Lobby'), ('Dock ''B''')");
    }

    void cleanup() {
        if (!testdb::available()) testdb::startServer();
    }

    void missingChoicesAreRefusedAfterThePurge() {
        const QDate today = QDate::currentDate();
        addAlert("alerts", today.addDays(-2), "09:00:00", "old");
        addAlert("AlertLog", today.addDays(-2), "09:00:00", "old");
        ConsoleKit h;
        h.started();

        const QString noCode = QStringLiteral("You must select a code before saving this new record.");
        click(h);
        QCOMPARE(h.msg.boxes.size(), 1);
        expectBox(h.msg.boxes[0], "Missing Code", noCode, hv::Buttons::Ok, hv::Icon::Information, "Text1");
        QCOMPARE(QApplication::focusWidget(), h.list("Combo1"));
        QCOMPARE(count("alerts"), 0); // purged although the check failed
        QCOMPARE(count("AlertLog"), 1);

        // An empty entry is no choice; the location is not looked at.
        h.msg.boxes.clear();
        h.list("Combo1")->setCurrentIndex(1);
        h.list("Combo2")->setCurrentIndex(0);
        click(h);
        QCOMPARE(h.msg.boxes.size(), 1);
        QCOMPARE(h.msg.boxes[0].text, noCode);

        h.msg.boxes.clear();
        h.list("Combo1")->setCurrentIndex(0);
        h.list("Combo2")->setCurrentIndex(1);
        click(h);
        QCOMPARE(h.msg.boxes.size(), 1);
        expectBox(h.msg.boxes[0], "Missing Code", "You must select a code location before saving this new record.",
                  hv::Buttons::Ok, hv::Icon::Information, "Text1");
        QCOMPARE(QApplication::focusWidget(), h.list("Combo2"));
        QCOMPARE(count("alerts"), 0);
        QCOMPARE(count("AlertLog"), 1);
    }

    void answerNoLeavesTheMessageUnassigned() {
        ConsoleKit h;
        h.started();
        const QDateTime at = h.clock.now();
        h.choose("Code Red", "Lobby");
        click(h);
        expectSaved(h);
        const QString expected = row("Code Red", "<NULL>", at, "Lobby", "All out to the yard");
        QCOMPARE(stored("alerts"), QStringList({expected}));
        QCOMPARE(stored("AlertLog"), QStringList({expected}));
        expectListsCleared(h);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Text1"));
    }

    void messageNamesAndLineBreaksAreStoredUnchanged() {
        ConsoleKit h;
        h.started();
        const QDateTime at = h.clock.now();
        const QString head = QStringLiteral("Say \"now\"\r\nIt's 'fine'\r\n");
        const QString pasted = head + QString(700, u'z');
        QString expected = QString(head).replace("\r\n", "\n");
        expected += QString(600 - expected.size(), u'z');

        h.msg.answers = {hv::Answer::Yes};
        onNextModal([pasted](QWidget* form7) {
            QCOMPARE(form7->objectName(), QStringLiteral("Form7"));
            auto* text1 = form7->findChild<QPlainTextEdit*>("Text1");
            QApplication::clipboard()->setText(pasted);
            text1->paste();
            QTest::keyClick(text1, Qt::Key_A); // no 601st character
            QTest::keyClick(text1, Qt::Key_Return);
        });
        h.choose("Bob's \"Code\"", "Dock 'B'");
        click(h);
        expectSaved(h, true);
        const QString r = row("Bob's \"Code\"", expected, at, "Dock 'B'", "quoted");
        QCOMPARE(stored("alerts"), QStringList({r}));
        QCOMPARE(stored("AlertLog"), QStringList({r}));
        QCOMPARE(testdb::scalar("SELECT CHAR_LENGTH(CodeMessage) FROM AlertLog").toInt(), 600);
        QCOMPARE(count("codes"), 4);
    }

    void answerYesWithNothingStoresTheEmptyText() {
        for (bool byTitleBar : {true, false}) {
            testdb::reset();
            testdb::exec("INSERT INTO codes (CodeName) VALUES ('Drill')");
            testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('Lobby')");
            ConsoleKit h;
            h.started();
            const QDateTime at = h.clock.now();
            h.msg.answers = {hv::Answer::Yes};
            onNextModal([byTitleBar](QWidget* form7) {
                QTest::keyClicks(form7->findChild<QPlainTextEdit*>("Text1"), byTitleBar ? "typed then closed" : "");
                if (byTitleBar)
                    form7->close();
                else
                    QTest::mouseClick(form7->findChild<QPushButton*>("command1"), Qt::LeftButton);
            });
            h.choose("Drill", "Lobby");
            click(h);
            expectSaved(h, true);
            const QString r = row("Drill", "", at, "Lobby", "");
            QCOMPARE(stored("alerts"), QStringList({r}));
            QCOMPARE(stored("AlertLog"), QStringList({r}));
        }
    }

    void bothRowsCarryOneReadingOfTheClock() {
        ConsoleKit h;
        h.started();
        // Seconds are dropped.
        const QDateTime now = testdb::scalar("SELECT NOW()").toDateTime();
        const QDateTime at(now.date(), QTime(now.time().hour(), now.time().minute(), 40));
        h.clock.set(at);
        h.choose("Drill", "Lobby");
        click(h);
        QCOMPARE(h.titles(), QStringList({"Custom Message", "Halvane Saved"}));
        // The last instant of a day: a second reading would already be the next day.
        const QDate day = now.date();
        h.clock.setReadings({QDateTime(day, QTime(23, 59, 59, 999)), QDateTime(day.addDays(1), QTime(0, 0))});
        hv::AlertStore(h.ctx.servers()).save({"Drill", "Lobby", std::nullopt}, h.clock);
        const QString d = day.toString("yyyy-MM-dd");
        const QStringList expected({"Drill|<NULL>|" + d + "|" + at.time().toString("HH:mm") + ":00|Lobby|",
                                    "Drill|<NULL>|" + d + "|23:59:00|Lobby|"});
        QCOMPARE(stored("alerts"), expected);
        QCOMPARE(stored("AlertLog"), expected);
    }

    // The purge goes by the server's clock: rows of earlier days go, but not those of the last three
    // minutes just after midnight, nor today's or later ones.
    void purgeSparesTodayAndTheLastThreeMinutes() {
        const QDate today = QDate::currentDate(), yesterday = today.addDays(-1);
        addAlert("alerts", today.addDays(-5), "23:59:00", "five days ago");
        addAlert("alerts", yesterday, "10:00:00", "yesterday morning");
        addAlert("alerts", yesterday, "23:58:00", "180 s old");
        addAlert("alerts", yesterday, "23:58:30", "150 s old");
        addAlert("alerts", yesterday, "23:59:00", "120 s old");
        addAlert("alerts", today, "00:00:00", "today");
        addAlert("alerts", today.addDays(1), "08:00:00", "tomorrow");
        addAlert("AlertLog", yesterday, "10:00:00", "logged yesterday");
        // The server's clock a minute after midnight, for this session only.
        hv::Connection c(hv::DatabaseNode(testdb::host()));
        c.execute("SET timestamp = UNIX_TIMESTAMP(?)", {QDateTime(today, QTime(0, 1)).toString("yyyy-MM-dd HH:mm:ss")});
        c.execute(hv::AlertStore::purgeStatement());
        QStringList left;
        for (const QSqlRecord& r : testdb::rows("SELECT CodeName FROM alerts ORDER BY ID"))
            left << r.value(0).toString();
        QCOMPARE(left, QStringList({"150 s old", "120 s old", "today", "tomorrow"}));
        QCOMPARE(count("AlertLog"), 1);

        // Every press purges, by the real clock now, also when nothing is chosen.
        ConsoleKit h;
        h.started();
        h.clock.set(QDateTime::currentDateTime());
        click(h);
        QCOMPARE(h.titles(), QStringList({"Missing Code"}));
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM alerts WHERE CodeDate < CURRENT_DATE AND "
                                "TIMESTAMP(CodeDate, CodeTime) <= NOW() - INTERVAL 180 SECOND")
                     .toInt(),
                 0);
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM alerts WHERE CodeDate >= CURRENT_DATE").toInt(), 2);
    }

    void lockedPurgeDoesNotStopTheAlert() {
        addAlert("alerts", QDate::currentDate().addDays(-1), "10:00:00", "held");
        hv::Connection other(hv::DatabaseNode(testdb::host()));
        other.begin();
        // Another console's purge holds yesterday's row.
        const QVariant id = testdb::scalar("SELECT ID FROM alerts WHERE CodeName = 'held'");
        QCOMPARE(other.select("SELECT ID FROM alerts WHERE ID = ? FOR UPDATE", {id}).size(), 1);

        ConsoleKit h;
        h.started();
        const QDateTime at = h.clock.now();
        h.choose("Code Red", "Lobby");
        click(h);
        other.rollback();
        expectSaved(h);
        const QString r = row("Code Red", "<NULL>", at, "Lobby", "All out to the yard");
        QCOMPARE(stored("alerts").mid(1), QStringList({r}));
        QCOMPARE(stored("AlertLog"), QStringList({r}));
    }

    void clockOffTheServersGivesAWarning() {
        ConsoleKit h;
        h.started();
        const QDateTime ahead = QDateTime::currentDateTime().addSecs(300);
        h.clock.set(ahead);
        h.choose("Drill", "Lobby");
        click(h);
        QCOMPARE(h.titles(), QStringList({"Custom Message", "Halvane Saved", "Clock Difference"}));
        const ShownBox& warning = h.msg.boxes[2];
        QCOMPARE(warning.buttons, hv::Buttons::Ok);
        QCOMPARE(warning.icon, hv::Icon::Warning);
        const QRegularExpression text(
            "^The alert has been saved, but the clock of this computer is (5 minutes|4 minutes 5\\d seconds) ahead of "
            "the clock of the database server\\.\n\nThis computer: " +
            QRegularExpression::escape(clockText(ahead)) +
            "\nDatabase server: .+\n\nThe workstations show an alert for three minutes by the database server's "
            "clock, so they may show this alert late or not at all\\. Set both clocks to the same time\\.$");
        QVERIFY2(text.match(warning.text).hasMatch(), qPrintable(warning.text));
        QCOMPARE(count("alerts"), 1);

        // Half a minute apart is close enough.
        h.msg.boxes.clear();
        h.clock.set(QDateTime::currentDateTime().addSecs(-30));
        h.choose("Drill", "Lobby");
        click(h);
        expectSaved(h);

        // More than an hour apart: refused before anything is purged or stored, the choices kept.
        addAlert("alerts", QDate::currentDate().addDays(-2), "09:00:00", "old");
        h.msg.boxes.clear();
        const QDateTime dayAhead = QDateTime::currentDateTime().addDays(1);
        h.clock.set(dayAhead);
        h.choose("Drill", "Lobby");
        click(h);
        QCOMPARE(h.titles(), QStringList({"Clock Difference"}));
        const ShownBox& refusal = h.msg.boxes[0];
        QCOMPARE(refusal.icon, hv::Icon::Critical);
        QCOMPARE(refusal.buttons, hv::Buttons::Ok);
        const QRegularExpression refused(
            "^The alert has not been saved: the clock of this computer is (1 day|23 hours 59 minutes 5\\d seconds) "
            "ahead of the "
            "clock of the database server\\.\n\nThis computer: " +
            QRegularExpression::escape(clockText(dayAhead)) +
            "\nDatabase server: .+\n\nThe workstations show an alert for three minutes by the database server's "
            "clock, so they would show this alert late or not at all\\. Set the clock of this computer to the right "
            "time and submit the alert again\\.$");
        QVERIFY2(refused.match(refusal.text).hasMatch(), qPrintable(refusal.text));
        QCOMPARE(count("alerts"), 3);
        QCOMPARE(h.list("Combo1")->currentText(), QString("Drill"));
    }

    void commentsComeFromTheChosenCodeOnly() {
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('DRILL', 'upper'), ('drill', 'lower')");
        ConsoleKit h;
        h.started();
        h.choose("Code Red", "Lobby");
        click(h);
        // Deleted after the list was filled: no comments, never the previous code's.
        testdb::exec("DELETE FROM codes WHERE CodeName = 'Gone'");
        h.choose("Gone", "Lobby");
        click(h);
        // Names that match only without regard to case: the exact one wins.
        h.choose("drill", "Lobby");
        click(h);
        h.choose("DRILL", "Lobby");
        click(h);
        QStringList comments;
        for (const QSqlRecord& r : testdb::rows("SELECT Comments FROM AlertLog ORDER BY ID"))
            comments << (r.value(0).isNull() ? "<NULL>" : r.value(0).toString());
        QCOMPARE(comments, QStringList({"All out to the yard", "", "lower", "upper"}));
        QCOMPARE(stored("alerts").size(), 4);
    }

    void failureBetweenTheRowsStoresNeither() {
        testdb::exec("CREATE TRIGGER alertlog_refuses BEFORE INSERT ON AlertLog FOR EACH ROW "
                     "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'log refused'");
        ConsoleKit h;
        h.started();
        h.choose("Code Red", "Lobby");
        click(h);
        testdb::exec("DROP TRIGGER alertlog_refuses");
        QCOMPARE(h.titles(), QStringList({"Custom Message", "Halvane Not Saved"}));
        expectBox(h.msg.boxes[1], "Halvane Not Saved",
                  "The new halvane record could not be saved to the database, so the alert was not sent. Your "
                  "choices have been kept. Press Submit to try again.",
                  hv::Buttons::Ok, hv::Icon::Critical, "Text1");
        QCOMPARE(h.exit.ends, 0);
        QCOMPARE(count("alerts"), 0);
        QCOMPARE(count("AlertLog"), 0);
        QCOMPARE(h.list("Combo1")->currentText(), QStringLiteral("Code Red"));
        QCOMPARE(h.list("Combo2")->currentText(), QStringLiteral("Lobby"));

        // The kept choice goes through on the next press.
        h.msg.boxes.clear();
        click(h);
        expectSaved(h);
        QCOMPARE(count("alerts"), 1);
        QCOMPARE(count("AlertLog"), 1);
    }

    void deniedLogRowEndsWithNeitherRow() {
        ConsoleKit h;
        h.started();
        h.choose("Code Red", "Lobby");
        {
            LiveTableOnly rights;
            click(h);
        }
        QCOMPARE(h.titles(), QStringList({"Custom Message", "Database Connection Error"}));
        expectBox(h.msg.boxes[1], "Database Connection Error",
                  "This computer can't connect to the MYSQL database located on the main computer that you installed "
                  "the Full Server version onto. Also, make sure port 3306 is open in your firewall",
                  hv::Buttons::Ok, hv::Icon::Critical, "Text1");
        QCOMPARE(h.exit.ends, 1);
        QCOMPARE(count("alerts"), 0);
        QCOMPARE(count("AlertLog"), 0);
    }

    void wrongPasswordAtSubmissionEnds() {
        ConsoleKit h;
        h.started();
        h.choose("Code Red", "Lobby");
        {
            testdb::WrongPassword wrong;
            click(h);
        }
        QCOMPARE(h.msg.boxes.size(), 1);
        expectBox(h.msg.boxes[0], "Wrong Password",
                  "You entered an incorrect password. This application will now close.", hv::Buttons::Ok,
                  hv::Icon::Critical, "Command1");
        QCOMPARE(h.exit.ends, 1);
        QCOMPARE(count("alerts"), 0);
    }

    void serverStoppedMidwayEnds() {
        ConsoleKit h;
        h.started();
        h.choose("Code Red", "Lobby");
        bool stopped = false;
        h.msg.onShow = [&stopped](const ShownBox& b) {
            if (b.title == "Custom Message") stopped = testdb::stopServer();
        };
        click(h);
        QVERIFY2(stopped, "the test could not stop the private server");
        QVERIFY2(testdb::startServer(), "the test could not start the private server again");
        QCOMPARE(h.titles(), QStringList({"Custom Message", "Database File Not Found"}));
        expectBox(h.msg.boxes[1], "Database File Not Found",
                  "Database File not found. Contact your computer administrator.", hv::Buttons::Ok, hv::Icon::Critical,
                  "Text1");
        QCOMPARE(h.exit.ends, 1);
        QCOMPARE(count("alerts"), 0);
        QCOMPARE(count("AlertLog"), 0);
    }

    void enterInTheLocationListSubmits() {
        for (Qt::Key enter : {Qt::Key_Return, Qt::Key_Enter}) {
            testdb::exec("DELETE FROM alerts");
            ConsoleKit h;
            h.started();
            h.choose("Drill", "Lobby");
            h.list("Combo2")->setFocus();
            QTest::keyClick(h.list("Combo2"), enter);
            expectSaved(h);
            QCOMPARE(count("alerts"), 1);
            // Right after the confirmation Enter reaches the focus holder, which does nothing.
            QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Text1"));
            QTest::keyClick(QApplication::focusWidget(), enter);
            QCOMPARE(h.msg.boxes.size(), 2);
            QCOMPARE(count("alerts"), 1);
        }
    }
};

QTEST_MAIN(TestConsoleSubmit)
#include "tst_console_submit.moc"
