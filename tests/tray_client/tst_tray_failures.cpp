#include "DatabaseErrors.h"
#include "TrayFailures.h"
#include "TrayStore.h"

#include <QtTest>

using hv::TrayOperation;
using hv::TrayOutcome;

Q_DECLARE_METATYPE(hv::TrayOperation)
Q_DECLARE_METATYPE(hv::TrayOutcome)

// The tray client's failure table as its users meet it: which failures end the program with
// which box, and which the program lives through.
class TestTrayFailures : public QObject {
    Q_OBJECT

private slots:
    void table_data() {
        QTest::addColumn<TrayOperation>("op");
        QTest::addColumn<qint64>("number");
        QTest::addColumn<TrayOutcome>("outcome");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        const QString wrong = "You entered an incorrect password. This application will now close.";
        QTest::newRow("ini missing") << TrayOperation::ReadIni << qint64(53) << TrayOutcome::EndProgram
                                     << "Halvane c:\\halvane.ini error"
                                     << "";
        QTest::newRow("ini empty") << TrayOperation::ReadIni << qint64(62) << TrayOutcome::NextStep << ""
                                   << "";
        QTest::newRow("start refused") << TrayOperation::StartUp << hv::code::LoginRefused << TrayOutcome::EndProgram
                                       << "Wrong Password" << wrong;
        QTest::newRow("start picture") << TrayOperation::StartUp << hv::code::InvalidPicture << TrayOutcome::EndProgram
                                       << "Wrong Password"
                                       << "Please reinstall this application.";
        QTest::newRow("start unreachable")
            << TrayOperation::StartUp << hv::code::CannotOpen << TrayOutcome::NextStep << ""
            << "";
        QTest::newRow("start locked") << TrayOperation::StartUp << qint64(1969) << TrayOutcome::NextStep << ""
                                      << "";
        QTest::newRow("poll refused") << TrayOperation::Poll << hv::code::LoginRefused << TrayOutcome::EndProgram
                                      << "Wrong Password" << wrong;
        QTest::newRow("poll unreachable")
            << TrayOperation::Poll << hv::code::CannotOpen << TrayOutcome::EndOperation << ""
            << "";
        QTest::newRow("poll denied") << TrayOperation::Poll << hv::code::PermissionDenied << TrayOutcome::NextStep << ""
                                     << "";
        QTest::newRow("poll no row") << TrayOperation::Poll << hv::code::NoCurrentRow << TrayOutcome::NextStep << ""
                                     << "";
        QTest::newRow("test sound") << TrayOperation::TestSound << hv::code::Unexpected << TrayOutcome::EndOperation
                                    << ""
                                    << "";
    }
    void table() {
        QFETCH(TrayOperation, op);
        QFETCH(qint64, number);
        QFETCH(TrayOutcome, outcome);
        QFETCH(QString, title);
        QFETCH(QString, text);
        const hv::TrayFailureRule rule = hv::TrayFailures::rule(op, number);
        QCOMPARE(rule.outcome, outcome);
        QCOMPARE(rule.box.has_value(), !title.isEmpty());
        if (!rule.box) return;
        QCOMPARE(rule.box->title, title);
        if (!text.isEmpty()) QCOMPARE(rule.box->text, text);
        QCOMPARE(rule.box->buttons, hv::Buttons::Ok);
        QCOMPARE(rule.box->icon, number == hv::code::FileNotFound ? hv::Icon::Information : hv::Icon::Critical);
    }

    void boundsRunningOutAreNoAnswer() {
        // A tooltip read that ran into a bound is tried again by a later poll; one the server
        // answered (even with an error of its own) is not.
        for (qint64 n : {hv::code::CannotOpen, qint64(1205), qint64(1969), qint64(3024)})
            QVERIFY(hv::dberror::unanswered(hv::Failure(n)));
        for (qint64 n : {hv::code::NoCurrentRow, hv::code::PermissionDenied, qint64(1146)})
            QVERIFY(!hv::dberror::unanswered(hv::Failure(n)));
        // Any other server reads the bound as a comment.
        const QString sent = hv::TrayStore::bounded(hv::TrayStore::tooltipStatement());
        QVERIFY(sent.startsWith("/*M!"));
        QVERIFY(sent.endsWith("*/ Select TraysToolTipText From properties"));
    }
};

QTEST_GUILESS_MAIN(TestTrayFailures)
#include "tst_tray_failures.moc"
