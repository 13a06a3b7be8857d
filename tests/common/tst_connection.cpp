#include "Connection.h"
#include "DatabaseErrors.h"
#include "TestDb.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QtTest>

namespace {

qint64 failureOpening(const QString& host) {
    try {
        hv::Connection c(hv::DatabaseNode{host});
        c.select("SELECT 1");
        return 0;
    } catch (const hv::Failure& f) {
        return f.number();
    }
}

} // namespace

class TestConnection : public QObject {
    Q_OBJECT

private slots:
    void init() {
        REQUIRE_DB();
        testdb::reset();
    }

    void refusedLoginIsWrongPassword() {
        testdb::WrongPassword wrong;
        QCOMPARE(failureOpening(testdb::host()), hv::code::LoginRefused);
    }

    void unreachableHostCannotOpen() {
        QCOMPARE(failureOpening(testdb::hostUnreachable()), hv::code::CannotOpen);
        QCOMPARE(failureOpening(QString()), hv::code::CannotOpen);
        QCOMPARE(failureOpening("no-such-host.invalid"), hv::code::CannotOpen);
    }

    void localhostGoesOverTcp() {
        // There is no local socket where the client would look; only TCP reaches this server.
        QCOMPARE(failureOpening("localhost"), qint64(0));
        QCOMPARE(failureOpening("LocalHost"), qint64(0));
    }

    void deniedWriteIsPermissionDenied() {
        testdb::ReadOnlyRights readOnly;
        hv::Connection c(hv::DatabaseNode(testdb::host()));
        QCOMPARE(c.select("Select CodeName From codes ORDER BY CodeName").size(), 0);
        try {
            c.execute("INSERT INTO codes (CodeName) VALUES (?)", {"x"});
            QFAIL("the insert should have been refused");
        } catch (const hv::Failure& f) {
            QCOMPARE(f.number(), hv::code::PermissionDenied);
        }
    }

    void valuesTravelByteForByte() {
        const QString tricky =
            QStringLiteral("O'Brien \"quoted\" back\\slash\r\nline2\n; DROP TABLE codes; -- é ü ñ 🚨 %_");
        hv::Connection c(hv::DatabaseNode(testdb::host()));
        c.execute("INSERT INTO codes (CodeName, Comments) VALUES (?, ?)", {tricky, QVariant()});
        const auto rows = c.select("Select * From codes WHERE CodeName = ?", {tricky});
        QCOMPARE(rows.size(), 1);
        QCOMPARE(hv::textOf(rows[0], "CodeName"), tricky);
        QVERIFY(rows[0].value("Comments").isNull());
        QCOMPARE(hv::textOf(rows[0], "Comments"), QString());
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM codes").toInt(), 1);
    }

    void missingColumnAndNoRowAreFailures() {
        hv::Connection c(hv::DatabaseNode(testdb::host()));
        const auto rows = c.select("Select * From codes");
        try {
            hv::firstRow(rows);
            QFAIL("no row");
        } catch (const hv::Failure& f) {
            QCOMPARE(f.number(), hv::code::NoCurrentRow);
        }
        try {
            c.select("Select Nonsense From codes");
            QFAIL("bad column");
        } catch (const hv::Failure& f) {
            QCOMPARE(f.number(), qint64(1054));
        }
    }

    void silentPeerReturnsWithinTheBound() {
        QTcpServer silent;
        if (!silent.listen(QHostAddress("127.0.0.5"), 3306))
            QFAIL(qPrintable("cannot listen on 127.0.0.5:3306: " + silent.errorString()));
        QElapsedTimer t;
        t.start();
        QCOMPARE(failureOpening("127.0.0.5"), hv::code::CannotOpen);
        QVERIFY2(t.elapsed() < 30000, qPrintable(QString("took %1 ms").arg(t.elapsed())));
    }

    void statementOutlivingTheReadBoundCannotOpen() {
        hv::ConnectionOptions options;
        options.readTimeoutSeconds = 1;
        hv::Connection c(hv::DatabaseNode(testdb::host()), options);
        try {
            c.select("SELECT SLEEP(8)");
            QFAIL("the statement should have outlived the read bound");
        } catch (const hv::Failure& f) {
            QCOMPARE(f.number(), hv::code::CannotOpen);
        }
    }

    void lockHeldElsewhereEndsTheStatementWithinItsWait() {
        hv::Connection holder(hv::DatabaseNode(testdb::host()));
        holder.execute("LOCK TABLES codes WRITE");
        hv::ConnectionOptions options;
        options.lockWaitSeconds = 1;
        hv::Connection c(hv::DatabaseNode(testdb::host()), options);
        for (const char* sql : {"SELECT CodeName FROM codes", "INSERT INTO codes (CodeName) VALUES ('late')"}) {
            try {
                c.execute(sql);
                QFAIL(qPrintable(QString("%1 should have given up on the lock").arg(sql)));
            } catch (const hv::Failure& f) {
                QCOMPARE(f.nativeCode(), 1205);
                QVERIFY(hv::dberror::waitRanOut(f));
            }
        }
        holder.execute("UNLOCK TABLES");
        // The connection goes on, and the refused insert was never carried out later.
        QCOMPARE(c.select("SELECT COUNT(*) FROM codes").front().value(0).toInt(), 0);
    }

    void stoppedServerCannotOpen() {
        QVERIFY2(testdb::stopServer(), "could not stop the test server");
        const qint64 n = failureOpening(testdb::host());
        const bool restarted = testdb::startServer();
        QCOMPARE(n, hv::code::CannotOpen);
        QVERIFY2(restarted, "could not restart the test server");
        QCOMPARE(failureOpening(testdb::host()), qint64(0));
    }
};

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
