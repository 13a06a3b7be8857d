// The console's one failure table, operation by operation, and the database thread that every
// window waits on: what comes back from it and the busy pointer of a long wait. No server needed.
#include "ConsoleKit.h"
#include "Failure.h"
#include "Handler.h"
#include "shared/ConsoleDatabase.h"
#include "shared/FailureTable.h"

#include <QThread>

using hv::FailureTable;
using Op = FailureTable::Operation;

namespace {

const QString kWrongPassword =
    box("Wrong Password", "You entered an incorrect password. This application will now close.", hv::Buttons::Ok,
        hv::Icon::Critical);
const QString kConnect =
    box("Database Connection Error",
        "This computer can't connect to the MYSQL database located on the main computer that you installed the Full "
        "Server version onto. Also, make sure port 3306 is open in your firewall",
        hv::Buttons::Ok, hv::Icon::Critical);
const QString kIniAdvice = box(
    "Database Error",
    "The halvane.ini file should have only the following format: MYSQLSERVERNAME=ServerComputerName. Have it all on "
    "the first line with no periods, spaces or quotes. So just use MYSQLSERVERNAME= then the name of the network "
    "computer, A.K.A. host name, that is running the MYSQL server that you should have already installed. The MYSQL "
    "server computer could be this pc, or another one on your network. This application will now close.",
    hv::Buttons::Ok, hv::Icon::Critical);
const QString kFileNotFoundDot =
    box("Database File Not Found", "Database File not found. Contact your computer administrator.", hv::Buttons::Ok,
        hv::Icon::Critical);
const QString kFileNotFound =
    box("Database File Not Found", "Database File not found. Contact your computer administrator", hv::Buttons::Ok,
        hv::Icon::Critical);
const QString kNotSaved = box("Halvane Not Saved",
                              "The new halvane record could not be saved to the database, so the alert was not sent. "
                              "Your choices have been kept. Press Submit to try again.",
                              hv::Buttons::Ok, hv::Icon::Critical);
const QString kLost = "The connection to the MYSQL database could not be made or was lost. Make sure the main computer "
                      "is running and port 3306 is open in your firewall.";

// The failures as the database layer hands them over, one of each kind.
const QList<std::pair<const char*, hv::Failure>> kFailures{
    {"login refused", hv::Failure(hv::code::LoginRefused, {}, 1045)},
    {"cannot open", hv::Failure(hv::code::CannotOpen, {}, 2013)},
    {"denied", hv::Failure(hv::code::PermissionDenied, {}, 1142)},
    {"wait ran out", hv::Failure(1205, {}, 1205)},
    {"no row", hv::Failure(hv::code::NoCurrentRow)},
    {"ini missing", hv::Failure(hv::code::FileNotFound)},
    {"ini empty", hv::Failure(hv::code::InputPastEnd)},
    {"printer", hv::Failure(hv::code::PrinterError)},
    {"other", hv::Failure(1146, {}, 1146)},
};

} // namespace

class TestConsoleFailures : public QObject {
    Q_OBJECT

    // What a user sees and what follows, for one failure in one operation: the boxes, then
    // "ends", "next" or "stops".
    static QString seen(Op op, const hv::Failure& f, const QString& subject = "codes") {
        ScriptedMessagePort msg;
        ScriptedExit exit;
        QString after;
        try {
            after = FailureTable::apply(FailureTable::responseTo(op, f, subject), msg, exit) == hv::Reaction::NextStep
                        ? "next"
                        : "stops";
        } catch (const hv::ProgramEnded&) {
            after = "ends";
        }
        return (shown(msg.boxes) << after).join(" ; ");
    }

    static void table(Op op, const QList<QStringList>& expected) {
        for (int i = 0; i < kFailures.size(); ++i)
            QVERIFY2(seen(op, kFailures[i].second) == expected[i].join(" ; "),
                     qPrintable(QString("%1: %2").arg(kFailures[i].first, seen(op, kFailures[i].second))));
    }

private slots:
    void startUp() {
        table(Op::StartUp,
              {{kWrongPassword, "ends"},
               {kConnect, kIniAdvice, "ends"},
               {"stops"},
               {kConnect, kIniAdvice, "ends"},
               {"next"},
               {box("C:\\halvne.ini File Is Missing",
                    "The file C:\\halvane.ini file was not found on this computer. This file must be called "
                    "halvane.ini and must be located on the root of the C: on this computer. Also make sure you have "
                    "completely setup the Halvane database installer on the main computer that is your Server. "
                    "Contact your computer administrator.",
                    hv::Buttons::Ok, hv::Icon::Critical),
                "ends"},
               {box("C:\\halvane.ini Error",
                    "The c:\\halvane.ini file was found on the root of the C: drive on this computer, but doesn't "
                    "contain any valid database server information. The halvane.ini should only have one line of "
                    "text in it in the following format. MYSQLSERVERNAME=ServerComputerName. Have it all on the "
                    "first line with no periods, spaces or quotes. So just use MYSQLSERVERNAME= then the name of the "
                    "network computer, host name, that is running the MYSQL server that you should have already "
                    "installed.",
                    hv::Buttons::Ok, hv::Icon::Critical),
                "ends"},
               {"stops"},
               {"stops"}});
    }

    void purgeGoesOnUnlessFatal() {
        table(Op::Purge, {{kWrongPassword, "ends"},
                          {kFileNotFoundDot, "ends"},
                          {kConnect, "ends"},
                          {"next"},
                          {"next"},
                          {"next"},
                          {"next"},
                          {"next"},
                          {"next"}});
    }

    void submission() {
        table(Op::Submission, {{kWrongPassword, "ends"},
                               {kFileNotFoundDot, "ends"},
                               {kConnect, "ends"},
                               {kFileNotFoundDot, "ends"},
                               {kNotSaved, "stops"},
                               {kNotSaved, "stops"},
                               {kNotSaved, "stops"},
                               {kNotSaved, "stops"},
                               {kNotSaved, "stops"}});
    }

    void loginAndLocationsEditor() {
        table(Op::Login, {{kWrongPassword, "ends"},
                          {kFileNotFound, "ends"},
                          {"stops"},
                          {kFileNotFound, "ends"},
                          {"next"},
                          {"stops"},
                          {"stops"},
                          {"stops"},
                          {"stops"}});
        const QString notFound = box("Database Not Found", "Database not found. Contact your computer administrator",
                                     hv::Buttons::Ok, hv::Icon::Critical);
        table(Op::LocationsEditorLoad, {{kWrongPassword, "ends"},
                                        {notFound, "ends"},
                                        {"stops"},
                                        {notFound, "ends"},
                                        {"next"},
                                        {"stops"},
                                        {"stops"},
                                        {"stops"},
                                        {"stops"}});
    }

    void editorsSayWhatDidNotHappenAndWhy() {
        const QString contact = " Contact your computer administrator";
        const QStringList reasons{
            "The MYSQL database refused the login.",          kLost,
            "The MYSQL database denied permission for this.", kLost,
            "The record is no longer in the database.",       "The MYSQL database refused it (error 53).",
            "The MYSQL database refused it (error 62).",      "The MYSQL database refused it (error 482).",
            "The MYSQL database refused it (error 1146)."};
        const QList<std::pair<Op, QStringList>> ops{
            {Op::EditorLoad,
             {"Database Error", "The users could not be read from the database, so the window will not open."}},
            {Op::EditorReload, {"Database Error", "The users could not be read again from the database."}},
            {Op::EditorAdd, {"Update Failed", "The new record has not been added."}},
            {Op::EditorSave, {"Update Failed", "Your changes have not been saved."}},
            {Op::EditorDelete, {"Delete Failed", "The record has not been deleted."}},
            {Op::ToolTipSave, {"Tool Tip Text Not Saved", "Nothing has been saved."}},
        };
        for (const auto& [op, what] : ops)
            for (int i = 0; i < kFailures.size(); ++i)
                QCOMPARE(seen(op, kFailures[i].second, "users"),
                         box(what[0], what[1] + " " + reasons[i] + contact, hv::Buttons::Ok, hv::Icon::Critical) +
                             " ; stops");
    }

    void reportsAndPrinting() {
        const QString printer =
            box("Printer Error",
                "This computer either doesn't have a default printer setup, or there was an error with the printer.",
                hv::Buttons::Ok, hv::Icon::Critical);
        for (const auto& [name, f] : kFailures) {
            QCOMPARE(seen(Op::Report, f), f.number() == hv::code::PrinterError ? printer + " ; stops" : "stops");
            QCOMPARE(seen(Op::Print, f), printer + " ; stops");
        }
    }

    void databaseThreadHandsBackResultsAndFailures() {
        ConsoleKit kit;
        hv::ConsoleDatabase& database = kit.ctx.database();
        QThread* ranOn = nullptr;
        int answer = 0;
        database.run([&] {
            ranOn = QThread::currentThread();
            answer = 42;
        });
        QVERIFY(ranOn && ranOn != QThread::currentThread());
        QCOMPARE(answer, 42);
        try {
            database.run([] { throw hv::Failure(hv::code::CannotOpen, "gone", 2013); });
            QFAIL("the failure should have come back");
        } catch (const hv::Failure& f) {
            QCOMPARE(f.number(), hv::code::CannotOpen);
            QCOMPARE(f.nativeCode(), 2013);
        }
        // A handler's step meets the failure as if the statement had run on its own thread.
        ScriptedMessagePort msg;
        ScriptedExit exit;
        hv::Handler handler(FailureTable::policyFor(Op::Login, msg, exit));
        QVERIFY(!handler.run([&] { handler.step([&] { database.run([] { throw hv::Failure(1205, {}, 1205); }); }); }));
        QCOMPARE(shown(msg.boxes), QStringList{kFileNotFound});
        QCOMPARE(exit.ends, 1);
    }

    void longWaitShowsTheBusyPointer() {
        ConsoleKit kit;
        hv::ConsoleDatabase& database = kit.ctx.database();
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // Asked while the wait goes on past the moment the pointer is due, and once it is over.
        QList<bool> busy;
        auto sample = [&busy] {
            busy << (QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor);
        };
        QTimer::singleShot(hv::ConsoleDatabase::kBusyPointerAfterMs + 500, sample);
        database.run([] { QThread::msleep(hv::ConsoleDatabase::kBusyPointerAfterMs + 1500); });
        sample();
        QCOMPARE(busy, QList<bool>({true, false}));
        // A quick step leaves the pointer alone.
        database.run([] {});
        QVERIFY(!QApplication::overrideCursor());
    }
};

QTEST_MAIN(TestConsoleFailures)
#include "tst_console_failures.moc"
