#include "Connection.h"
#include "ConnectionString.h"
#include "Formats.h"
#include "Handler.h"
#include "Ports.h"
#include "Strings.h"

#include <QtTest>

class TestDataLayerUnit : public QObject {
    Q_OBJECT

private slots:
    void connectionStringOnThisPlatform() {
        QVERIFY(!hv::fncIs64BitWindows());
        QCOMPARE(hv::fncConnectionString("dbhost"),
                 QStringLiteral("Driver={MySQL ODBC 5.1 Driver};Server=dbhost;Port=3306;Database=halvane; "
                                "User=root;Password=KTVB58027;Option=3;"));
    }

    void emptyHostGivesCompleteStringAndCannotOpen() {
        const QString s = hv::fncConnectionString(QString());
        QVERIFY(s.startsWith("Driver={MySQL ODBC 5.1 Driver};Server=;Port=3306;"));
        QVERIFY(s.endsWith(";Option=3;"));
        try {
            hv::Connection c{hv::DatabaseNode()};
            QFAIL("an empty host must not connect");
        } catch (const hv::Failure& f) {
            QCOMPARE(f.number(), hv::code::CannotOpen);
        }
    }

    void handlerStepsFollowThePolicy() {
        QStringList seen;
        hv::Handler h([&](const hv::Failure& f) {
            seen << QString::number(f.number());
            return hv::skipNoCurrentRow(f);
        });
        QStringList ran;
        const bool done = h.run([&] {
            h.step([&] { ran << "1"; });
            h.step([&] { throw hv::Failure(hv::code::NoCurrentRow); });
            h.step([&] { ran << "3"; });
            h.step([&] { throw hv::Failure(1064); });
            h.step([&] { ran << "5"; });
        });
        QVERIFY(!done);
        QCOMPARE(ran, QStringList({"1", "3"}));
        QCOMPARE(seen, QStringList({"3021", "1064"}));
        QVERIFY(h.endedBy());
        QCOMPARE(h.endedBy()->number(), qint64(1064));
    }

    void programEndStopsTheHandler() {
        struct Ends : hv::ExitPort {
            [[noreturn]] void endProgram() override { throw hv::ProgramEnded{}; }
        } ends;
        bool after = false;
        hv::Handler h([&](const hv::Failure&) -> hv::Reaction {
            ends.endProgram();
            return hv::Reaction::EndHandler;
        });
        QVERIFY(!h.run([&] {
            h.step([&] { throw hv::Failure(hv::code::LoginRefused); });
            after = true;
        }));
        QVERIFY(!after);
    }

    void firstRowOfNothingIsNoCurrentRow() {
        try {
            hv::firstRow({});
            QFAIL("expected 3021");
        } catch (const hv::Failure& f) {
            QCOMPARE(f.number(), hv::code::NoCurrentRow);
        }
    }

    void formats() {
        QCOMPARE(QLocale::system().name(), QStringLiteral("en_US"));
        QCOMPARE(hv::formatAmPm(QTime(15, 7)), QStringLiteral("3:07 PM"));
        QCOMPARE(hv::formatAmPm(QTime(9, 5, 4), true), QStringLiteral("9:05:04 AM"));
        QCOMPARE(hv::formatAmPm(QTime(0, 0, 59), true), QStringLiteral("12:00:59 AM"));
        QCOMPARE(hv::formatAmPm(QTime(0, 5)), QStringLiteral("12:05 AM"));
        QCOMPARE(hv::formatAmPm(QTime(12, 0)), QStringLiteral("12:00 PM"));
        QCOMPARE(hv::formatAmPm(QTime()), QString());
        QCOMPARE(hv::formatMonthDayYear(QDate(2012, 4, 1)), QStringLiteral("04/01/2012"));
        QCOMPARE(hv::formatIsoDate(QDate(2012, 4, 1)), QStringLiteral("2012-04-01"));
        QCOMPARE(hv::formatGrouped(0), QStringLiteral("0"));
        QCOMPARE(hv::formatGrouped(1234), QStringLiteral("1,234"));
        QCOMPARE(hv::formatGrouped(1234567), QStringLiteral("1,234,567"));
    }

    void trimmingDropsOnlyWhatIsAsked() {
        QCOMPARE(hv::trimmedOf(QStringLiteral("  a \t b  ")), QStringLiteral("a \t b"));
        QCOMPARE(hv::trimmedOf(QStringLiteral("\t a \t")), QStringLiteral("\t a \t"));
        QCOMPARE(hv::trimmedOf(QStringLiteral("\t a \t"), u" \t"), QStringLiteral("a"));
        QCOMPARE(hv::trimmedOf(QStringLiteral("   ")), QString());
    }
};

QTEST_GUILESS_MAIN(TestDataLayerUnit)
#include "tst_datalayer_unit.moc"
