#include "Connection.h"
#include "Formats.h"
#include "TableLock.h"
#include "TestDb.h"
#include "TrayFakes.h"
#include "TrayStore.h"
#include "alerts/AlertText.h"
#include "poll/Poller.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using hv::Poller;

namespace {

const QVariant kNull = QVariant(QMetaType::fromType<QString>());

// An alert stored as the console stores it, dated by the server's own clock.
qint64 addAlert(const QVariant& name, const QVariant& location, const QVariant& comments, const QVariant& message,
                int secondsAgo) {
    testdb::exec(
        QStringLiteral("INSERT INTO alerts (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation, Comments) "
                       "SELECT ?, ?, DATE(NOW() - INTERVAL ? SECOND), TIME(NOW() - INTERVAL ? SECOND), ?, ?"),
        {name, message, secondsAgo, secondsAgo, location, comments});
    return testdb::scalar(QStringLiteral("SELECT MAX(ID) FROM alerts")).toLongLong();
}

qint64 addAlertAt(const QDateTime& at, const QString& name) {
    testdb::exec(
        QStringLiteral("INSERT INTO alerts (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation, Comments) "
                       "VALUES (?, '', ?, ?, 'Lobby', '')"),
        {name, at.date(), at.time()});
    return testdb::scalar(QStringLiteral("SELECT MAX(ID) FROM alerts")).toLongLong();
}

QString timeOf(qint64 id) {
    return hv::formatAmPm(testdb::scalar(QStringLiteral("SELECT CodeTime FROM alerts WHERE ID = ?"), {id}).toTime());
}

QDateTime serverNow() {
    return testdb::scalar(QStringLiteral("SELECT NOW()")).toDateTime();
}

// The text of one block as the popup must show it.
QString block(qint64 id, const QString& name, const QString& location, const QString& comments,
              const QString& message) {
    QString b = timeOf(id) + " - CODE " + name + "\r\nLocation = " + location + "\r\n";
    if (!comments.isEmpty()) b += comments + "\r\n";
    return b + message + "\r\n";
}

} // namespace

class TestTrayPoller : public QObject {
    Q_OBJECT

    std::unique_ptr<FakePopup> popup;
    std::shared_ptr<RingLog> ringLog;
    std::unique_ptr<QWidget> caller;
    std::unique_ptr<Poller> poller;

    bool poll() {
        QSignalSpy ended(poller.get(), &Poller::pollEnded);
        poller->tick();
        return ended.wait(20000);
    }

private slots:
    void init() {
        REQUIRE_DB();
        testdb::reset();
        popup = std::make_unique<FakePopup>();
        ringLog = std::make_shared<RingLog>();
        caller = std::make_unique<QWidget>();
        poller = std::make_unique<Poller>(*popup, std::make_unique<FakeRing>(ringLog), caller.get());
        poller->setServers(hv::ServerList::forHosts(testdb::host()));
    }

    void cleanup() {
        poller.reset();
        testdb::adminExec(QStringLiteral("SET GLOBAL time_zone = 'SYSTEM'"));
    }

    void noRowsClosesAnOpenPopupWithoutRinging() {
        addAlert("Old", "Lobby", "", "", 600);
        popup->showAlerts("from before", caller.get());
        QVERIFY(poll());
        QVERIFY(!popup->open);
        QCOMPARE(popup->shown.size(), 1);
        QCOMPARE(ringLog->rings, 0);
    }

    void newAlertRingsOnceAndStaysWhileInTheWindow() {
        const qint64 a = addAlert("Code Red", "Lobby", "All staff to fire-watch posts", "Smoke on 2", 20);
        // The ring plays off the window thread, with the popup already up: the window thread
        // answers while it plays.
        bool openAtRing = false;
        bool windowThreadAnswered = false;
        ringLog->onRing = [&] {
            openAtRing = popup->open;
            std::atomic<bool> answered{false};
            QTimer::singleShot(0, qApp, [&answered] { answered = true; });
            windowThreadAnswered = QTest::qWaitFor([&] { return answered.load(); }, 10000);
        };
        QVERIFY(poll());
        QVERIFY(openAtRing);
        QVERIFY(windowThreadAnswered);
        ringLog->onRing = nullptr;
        QVERIFY(popup->open);
        QCOMPARE(popup->lastCaller, caller.get());
        QCOMPARE(popup->shown.last(), block(a, "Code Red", "Lobby", "All staff to fire-watch posts", "Smoke on 2"));
        QCOMPARE(ringLog->rings, 1);

        // The user closes it; the next polls bring it back without ringing.
        popup->closePopup();
        QVERIFY(poll());
        QVERIFY(poll());
        QVERIFY(popup->open);
        QCOMPARE(popup->shown.size(), 3);
        QCOMPARE(popup->shown.last(), popup->shown.first());
        QCOMPARE(ringLog->rings, 1);

        // A second alert inside the window: both blocks, one more ring.
        const qint64 b = addAlert("Code Blue", "Ward 3", kNull, "Team to ward 3", 5);
        QVERIFY(poll());
        QCOMPARE(popup->shown.last(), block(b, "Code Blue", "Ward 3", "", "Team to ward 3") +
                                          block(a, "Code Red", "Lobby", "All staff to fire-watch posts", "Smoke on 2"));
        QCOMPARE(ringLog->rings, 2);
        QCOMPARE(poller->intLastID(), b);
    }

    // Read aloud once per new alert, after its ring, only where the site turned it on; a database
    // from before the setting's table rings and shows as it always did.
    void newAlertsReadAloudAfterTheirRing() {
        auto said = std::make_shared<FakeVoice::Log>();
        poller->setVoice([said, rings = ringLog] { return std::make_unique<FakeVoice>(said, rings); });
        testdb::exec("INSERT INTO traysettings (ID, ReadAloud) VALUES (1, 1)");
        addAlert("Code Red", "Lobby", "All staff to fire-watch posts", "Smoke on 2", 20);
        QVERIFY(poll());
        QTRY_COMPARE(said->take(), QStringList{"after 1 rings: Code Red. Location: Lobby. Smoke on 2"});
        addAlert("Code Blue", "Ward 3", kNull, kNull, 5);
        QVERIFY(poll());
        QVERIFY(poll());
        QTRY_COMPARE(said->take().size(), 2);
        QCOMPARE(said->take().last(), QString("after 2 rings: Code Blue. Location: Ward 3"));

        testdb::exec("UPDATE traysettings SET ReadAloud = 0");
        addAlert("Code Green", "Gate", kNull, "All clear", 3);
        QVERIFY(poll());
        testdb::exec("DROP TABLE traysettings");
        auto restore = qScopeGuard([] { testdb::upgrade(); });
        const qint64 d = addAlert("Code Grey", "Lobby", kNull, "Drill", 2);
        QVERIFY(poll());
        QCOMPARE(ringLog->rings, 4);
        QVERIFY(popup->open);
        QVERIFY(popup->shown.last().startsWith(block(d, "Code Grey", "Lobby", "", "Drill")));
        QTest::qWait(300);
        QCOMPARE(said->take().size(), 2);
    }

    void commentsLineOnlyWhenNotBlank() {
        const qint64 empty = addAlert("A", "L1", "", "m1", 30);
        const qint64 blank = addAlert("B", "L2", "   ", "m2", 30);
        const qint64 null = addAlert("C", "L3", kNull, kNull, 30);
        const qint64 real = addAlert("D", kNull, "  Go to posts ", "m4", 30);
        QVERIFY(poll());
        const QString text = popup->shown.last();
        QCOMPARE(text, block(real, "D", "", "  Go to posts ", "m4") + block(null, "C", "L3", "", "") +
                           block(blank, "B", "L2", "", "m2") + block(empty, "A", "L1", "", "m1"));
        QCOMPARE(text.count("\r\n"), 3 + 3 + 3 + 4);
        QVERIFY(!text.contains(QRegularExpression("[^\r]\n")));
    }

    void differenceZeroAndExactly180AreNotShown() {
        // The server's clock stands still for the poll's session, so that the window's edges are
        // met to the second.
        const QDateTime t(QDate(2031, 5, 6), QTime(10, 0, 0));
        addAlertAt(t, "Zero");
        const qint64 one = addAlertAt(t.addSecs(-1), "One");
        const qint64 late = addAlertAt(t.addSecs(-179), "OneSeventyNine");
        addAlertAt(t.addSecs(-180), "OneEighty");
        addAlertAt(t.addSecs(-181), "OneEightyOne");
        addAlertAt(t.addSecs(1), "Ahead");
        hv::Connection conn(hv::DatabaseNode(testdb::host()));
        conn.execute("SET TIMESTAMP = ?", {t.toSecsSinceEpoch()});
        QCOMPARE(conn.select("SELECT NOW()").front().value(0).toDateTime(), t);
        hv::TrayStore store(hv::ServerList::forHosts(testdb::host()));
        const hv::PollSnapshot r = store.readAlerts(conn);
        QVERIFY(!r.failure);
        QVERIFY(r.statementRan);
        QCOMPARE(r.alerts.size(), 2);
        QCOMPARE(r.alerts[0].key.id, one);
        QCOMPARE(r.alerts[1].key.id, late);
        QCOMPARE(hv::alertText::block(r.alerts[0]) + hv::alertText::block(r.alerts[1]),
                 block(one, "One", "Lobby", "", "") + block(late, "OneSeventyNine", "Lobby", "", ""));
    }

    void acrossMidnightOnlyWhileYoungerThan180Seconds() {
        // Put the server's clock just after midnight through its time zone.
        QDateTime utc = testdb::scalar("SELECT UTC_TIMESTAMP()").toDateTime();
        if (utc.time().second() > 45) {
            QTest::qWait((61 - utc.time().second()) * 1000);
            utc = testdb::scalar("SELECT UTC_TIMESTAMP()").toDateTime();
        }
        int offset = (1440 - (utc.time().hour() * 60 + utc.time().minute())) % 1440; // minutes to 00:00
        if (offset > 780) offset -= 1440;
        testdb::adminExec(QStringLiteral("SET GLOBAL time_zone = '%1%2:%3'")
                              .arg(offset < 0 ? "-" : "+")
                              .arg(qAbs(offset) / 60)
                              .arg(qAbs(offset) % 60, 2, 10, QLatin1Char('0')));
        QCOMPARE(serverNow().time().hour(), 0);
        QCOMPARE(serverNow().time().minute(), 0);

        const qint64 fresh = addAlert("BeforeMidnight", "Lobby", "", "", 100);
        const qint64 older = addAlert("LongerAgo", "Lobby", "", "", 150);
        addAlert("TooOld", "Lobby", "", "", 200);
        addAlert("SameTimeYesterday", "Lobby", "", "", 86400 - 60);
        addAlert("Tomorrow", "Lobby", "", "", -60);
        QCOMPARE(
            testdb::scalar("SELECT COUNT(*) FROM alerts WHERE CodeDate < CURRENT_DATE AND ID IN (?, ?)", {fresh, older})
                .toInt(),
            2);
        QVERIFY(poll());
        QVERIFY(popup->open);
        QCOMPARE(popup->shown.last(),
                 block(older, "LongerAgo", "Lobby", "", "") + block(fresh, "BeforeMidnight", "Lobby", "", ""));
        QCOMPARE(ringLog->rings, 1);
    }

    void serverLostDuringPollsAndBack() {
        const qint64 a = addAlert("Code Red", "Lobby", "", "Out", 10);
        QVERIFY(poll());
        QCOMPARE(ringLog->rings, 1);

        QVERIFY2(testdb::stopServer(), "could not stop the test server");
        QVERIFY(poll());
        QVERIFY(!popup->open);
        QCOMPARE(ringLog->rings, 1);

        QVERIFY2(testdb::startServer(), "could not start the test server again");
        REQUIRE_DB();
        QVERIFY(poll());
        QVERIFY(popup->open);
        QCOMPARE(popup->shown.last(), block(a, "Code Red", "Lobby", "", "Out"));
        QCOMPARE(ringLog->rings, 1);
    }

    void lockedAlertsTableEndsThePollWithinItsBound() {
        addAlert("Code Red", "Lobby", "", "", 20);
        {
            TableLock lock({"alerts"});
            QVERIFY(poll());
            QVERIFY(!popup->open);
            QCOMPARE(ringLog->rings, 0);
            // The server ended the statement itself; nothing is left waiting for the lock.
            QCOMPARE(TableLock::waiting(), 0);
        }
        QVERIFY(poll());
        QVERIFY(popup->open);
        QCOMPARE(ringLog->rings, 1);
    }

    void rowsOutOfIdOrder() {
        // Rows in their order of storage instead of by ID, so that the server hands them back
        // unsorted.
        testdb::exec("ALTER TABLE alerts DROP PRIMARY KEY, ADD KEY alerts_id (ID)");
        auto restore = qScopeGuard([] { testdb::exec("ALTER TABLE alerts DROP KEY alerts_id, ADD PRIMARY KEY (ID)"); });

        testdb::exec(
            "INSERT INTO alerts (ID, CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation, Comments) "
            "SELECT 7, 'Older', '', DATE(NOW() - INTERVAL 60 SECOND), TIME(NOW() - INTERVAL 60 SECOND), 'A', ''");
        QVERIFY(poll());
        QCOMPARE(ringLog->rings, 1);

        // A new alert (9) that the server returns before the one already rung (7): stored after it
        // and dated earlier, so that neither the table nor the date index gives the ID order.
        testdb::exec(
            "INSERT INTO alerts (ID, CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation, Comments) "
            "SELECT 9, 'Newer', '', DATE(NOW() - INTERVAL 90 SECOND), TIME(NOW() - INTERVAL 90 SECOND), 'B', ''");
        const auto seven = testdb::rows("SELECT * FROM alerts WHERE ID = 7");
        testdb::exec("DELETE FROM alerts WHERE ID = 7");
        testdb::exec("INSERT INTO alerts (ID, CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation, Comments) "
                     "VALUES (7, 'Older', '', ?, ?, 'A', '')",
                     {seven.front().value("CodeDate"), seven.front().value("CodeTime")});
        const auto order = testdb::rows(hv::TrayStore::pollStatement());
        QVERIFY2(order.size() == 2 && order[0].value("ID").toInt() == 9,
                 "the server returned the rows in ID order; the case needs them unsorted");

        QVERIFY(poll());
        // The newest first, whatever order the server gave.
        QCOMPARE(popup->shown.last(), block(9, "Newer", "B", "", "") + block(7, "Older", "A", "", ""));
        QCOMPARE(ringLog->rings, 2);
        QCOMPARE(poller->intLastID(), 9);
    }

    void newerAlertLeavingFirstDoesNotRingAgain() {
        const qint64 older = addAlert("Older", "A", "", "", 20);
        const qint64 newer = addAlert("Newer", "B", "", "", 170);
        QVERIFY(newer > older);
        QVERIFY(poll());
        QCOMPARE(ringLog->rings, 1);
        // The newer one's time lies earlier: it leaves the window first.
        testdb::exec("UPDATE alerts SET CodeDate = DATE(NOW() - INTERVAL 300 SECOND), "
                     "CodeTime = TIME(NOW() - INTERVAL 300 SECOND) WHERE ID = ?",
                     {newer});
        QVERIFY(poll());
        QCOMPARE(popup->shown.last(), block(older, "Older", "A", "", ""));
        QCOMPARE(ringLog->rings, 1);
    }

    void nestedLoopsNeverStartASecondPoll() {
        addAlert("Code Red", "Lobby", "", "", 10);
        QTimer timer1;
        timer1.setInterval(10);
        connect(&timer1, &QTimer::timeout, poller.get(), &Poller::tick);
        QSignalSpy started(poller.get(), &Poller::pollStarted);
        int startedDuringRing = -1;
        // The ring keeps the event loop turning for many timer intervals.
        ringLog->onRing = [&] {
            const int before = started.size();
            QEventLoop loop;
            QTimer::singleShot(300, &loop, &QEventLoop::quit);
            loop.exec();
            startedDuringRing = started.size() - before;
        };
        QSignalSpy ended(poller.get(), &Poller::pollEnded);
        // A later tick may start the next poll after this one ended before the wait returns
        // (a loaded machine), which is allowed; what is counted is starts before the first end.
        int startedBeforeFirstEnd = -1;
        QObject endWatch;
        connect(poller.get(), &Poller::pollEnded, &endWatch, [&] {
            if (startedBeforeFirstEnd < 0) startedBeforeFirstEnd = started.size();
        });
        timer1.start();
        QVERIFY(ended.wait(20000));
        timer1.stop();
        QCOMPARE(ringLog->rings, 1);
        QCOMPARE(startedDuringRing, 0);
        QCOMPARE(startedBeforeFirstEnd, 1);
        QVERIFY(QTest::qWaitFor([&] { return ended.size() == started.size(); }, 20000));

        // "Test Sound" while a poll that brings a new alert is under way: the poll's ring waits
        // for the first to end instead of sounding over it.
        addAlert("Code Blue", "Ward", "", "", 5);
        int overlapping = 0;
        int depth = 0;
        ringLog->onRing = [&] {
            if (++depth > 1) ++overlapping;
            QEventLoop loop;
            QTimer::singleShot(500, &loop, &QEventLoop::quit);
            loop.exec();
            --depth;
        };
        QSignalSpy ended2(poller.get(), &Poller::pollEnded);
        poller->tick();
        poller->testSound();
        if (ended2.isEmpty()) QVERIFY(ended2.wait(20000));
        QCOMPARE(ringLog->rings, 3);
        QCOMPARE(overlapping, 0);
        QVERIFY(popup->open);
    }
};

QTEST_MAIN(TestTrayPoller)
#include "tst_tray_poller.moc"
