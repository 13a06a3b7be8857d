// A submission whose COMMIT was sent and whose answer was lost, against the private server through
// a relay that loses it: the submission is stored once and its sender told the truth, whether the
// server committed it (the answer lost) or not (the COMMIT lost), and a retry with the same token
// never stores it twice.
#include "AlertStore.h"
#include "DatabaseErrors.h"
#include "FaultyProxy.h"
#include "FixedClock.h"
#include "TestDb.h"

#include <QtTest>

#include <chrono>
#include <thread>

class TestExactlyOnce : public QObject {
    Q_OBJECT

    static int alertsNamed(const QString& name) {
        return testdb::scalar("SELECT COUNT(*) FROM alerts WHERE CodeName = ?", {name}).toInt() * 100 +
               testdb::scalar("SELECT COUNT(*) FROM AlertLog WHERE CodeName = ?", {name}).toInt();
    }

private slots:
    void init() {
        REQUIRE_DB();
        testdb::reset();
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('Code Red', 'Go')");
    }

    void storedOnceWhateverWasLost_data() {
        QTest::addColumn<int>("fault");
        QTest::newRow("the answer to the COMMIT lost: it landed") << int(FaultyProxy::Fault::LoseCommitAnswer);
        QTest::newRow("the COMMIT lost: it did not land") << int(FaultyProxy::Fault::LoseCommit);
    }
    void storedOnceWhateverWasLost() {
        QFETCH(int, fault);
        FaultyProxy proxy(testdb::host(), 3306);
        QString why;
        QVERIFY2(proxy.start(&why), qPrintable(why));
        proxy.arm(FaultyProxy::Fault(fault));
        hv::AlertStore store(hv::ServerList({hv::DatabaseNode(QStringLiteral("127.0.0.1"), proxy.port())}));
        FixedClock clock;
        const QString token = hv::AlertStore::newToken();
        const hv::AlertStore::Saved saved = store.save({"Code Red", "Lobby", QString("Stairs")}, clock, token);
        QVERIFY(proxy.fired());
        QVERIFY(!saved.already);
        QCOMPARE(saved.alerts.size(), 1);
        QCOMPARE(alertsNamed("Code Red"), 101);
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM submissions WHERE Token = ?", {token}).toInt(), 1);
        QCOMPARE(testdb::scalar("SELECT ID FROM alerts").toLongLong(), saved.alerts.front().alertId);

        // A script that sends again with the same token learns it is stored, and nothing more is.
        const hv::AlertStore::Saved again = store.save({"Code Red", "Lobby", QString("Stairs")}, clock, token);
        QVERIFY(again.already);
        QCOMPARE(again.alerts.front().alertId, saved.alerts.front().alertId);
        QCOMPARE(again.alerts.front().codeMessage, QString("Stairs"));
        QCOMPARE(alertsNamed("Code Red"), 101);
    }

    // The answer lost and the server out of reach since: neither "stored" nor "not stored".
    void unknownWhenItCannotBeAsked() {
        FaultyProxy proxy(testdb::host(), 3306);
        QString why;
        QVERIFY2(proxy.start(&why), qPrintable(why));
        proxy.arm(FaultyProxy::Fault::LoseCommitAnswer);
        hv::AlertStore store(hv::ServerList({hv::DatabaseNode(QStringLiteral("127.0.0.1"), proxy.port())}));
        FixedClock clock;
        // The relay refuses every connection once it has lost the answer.
        std::thread refuser([&] {
            while (!proxy.fired())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            proxy.refuse();
        });
        try {
            store.save({"Code Red", "Lobby", std::nullopt}, clock, hv::AlertStore::newToken());
            refuser.join();
            QFAIL("the submission was reported as stored");
        } catch (const hv::Failure& f) {
            refuser.join();
            QVERIFY2(hv::dberror::outcomeUnknown(f), qPrintable(f.description()));
            QCOMPARE(f.number(), hv::code::CannotOpen);
        }
        // It did land: the sender was right not to say otherwise.
        QCOMPARE(alertsNamed("Code Red"), 101);
    }
};

QTEST_GUILESS_MAIN(TestExactlyOnce)
#include "tst_exactly_once.moc"
