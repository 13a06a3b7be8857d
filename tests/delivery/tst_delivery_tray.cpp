// What the tray client writes into the delivery tables, through its own poller and database thread
// against the private server: the check-in at start, a receipt after the ring that says how it
// went, the user's close, server times throughout; and against a database without the delivery
// tables, the alert shown and rung as before with no more than a statement a minute spent on it.
#include "Connection.h"
#include "TestDb.h"
#include "TrayFakes.h"
#include "alerts/LiveAlerts.h"
#include "platform/Platform.h"
#include "poll/DatabaseWorker.h"
#include "poll/Poller.h"

#include <QSignalSpy>
#include <QtTest>

using hv::Poller;

namespace {

// The popup whose user can close it.
class ClosablePopup : public FakePopup {
public:
    void setClosedByUser(std::function<void()> fn) override { m_closed = std::move(fn); }
    void userCloses() {
        open = false;
        if (m_closed) m_closed();
    }

private:
    std::function<void()> m_closed;
};

// A ring that went as scripted.
class ReportingRing : public FakeRing {
public:
    ReportingRing(std::shared_ptr<RingLog> log, hv::RingReport report, hv::AudioState audio)
        : FakeRing(std::move(log)), m_report(std::move(report)), m_audio(audio) {}
    hv::RingReport lastReport() const override { return m_report; }
    hv::AudioState audioState() override { return m_audio; }

private:
    hv::RingReport m_report;
    hv::AudioState m_audio;
};

qint64 addAlert(int secondsAgo) {
    testdb::exec("INSERT INTO alerts (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation, Comments) SELECT "
                 "'Code Red', 'Go', DATE(NOW() - INTERVAL ? SECOND), TIME(NOW() - INTERVAL ? SECOND), 'East Wing', ''",
                 {secondsAgo, secondsAgo});
    return testdb::scalar("SELECT MAX(ID) FROM alerts").toLongLong();
}

qint64 inserts() {
    return testdb::rows("SHOW GLOBAL STATUS LIKE 'Com_insert'").value(0).value(1).toLongLong();
}

} // namespace

class TestDeliveryTray : public QObject {
    Q_OBJECT

    std::unique_ptr<ClosablePopup> popup;
    std::shared_ptr<RingLog> ringLog;
    std::unique_ptr<QWidget> caller;
    std::unique_ptr<Poller> poller;
    int failures = 0;
    hv::WorkstationIdentity me = hv::thisWorkstation();

    void makePoller(const hv::RingReport& report, const hv::AudioState& audio) {
        poller =
            std::make_unique<Poller>(*popup, std::make_unique<ReportingRing>(ringLog, report, audio), caller.get());
        poller->setServers(hv::ServerList::forHosts(testdb::host()));
        poller->setFailureReaction([this](hv::TrayOperation op, const hv::Failure& f) {
            ++failures;
            return hv::TrayFailures::reaction(op, f);
        });
    }

    bool poll() {
        QSignalSpy ended(poller.get(), &Poller::pollEnded);
        poller->tick();
        return ended.wait(20000);
    }

private slots:
    void init() {
        REQUIRE_DB();
        testdb::reset();
        popup = std::make_unique<ClosablePopup>();
        ringLog = std::make_shared<RingLog>();
        caller = std::make_unique<QWidget>();
        failures = 0;
    }

    void cleanup() {
        poller.reset();
        QString out;
        QVERIFY2(testdb::applyUpgrade(&out), qPrintable(out));
    }

    void checkInReceiptAndClose() {
        hv::RingReport rang;
        rang.result = hv::RingReport::Result::Played;
        rang.volumeBefore = 5000;
        rang.volumeDuring = 15000;
        rang.volumeAfter = 5000;
        rang.muteLifted = true;
        rang.muteRestored = true;
        makePoller(rang, {true, true, false});
        QVERIFY(!me.hostName.isEmpty() && !me.desktopUser.isEmpty());

        // The check-in goes with the start-up read, on its connection.
        poller->readTooltipAtStart();
        QTRY_COMPARE(testdb::scalar("SELECT COUNT(*) FROM workstations").toInt(), 1);
        const QSqlRecord w = testdb::rows("SELECT HostName, DesktopUser, ProgramVersion, CheckInSeconds, PollSeconds, "
                                          "SoundDevice, VolumeReadable, MuteReadable, LastPollFailure, "
                                          "TIMESTAMPDIFF(SECOND, LastCheckIn, NOW()), FirstCheckIn = LastCheckIn "
                                          "FROM workstations")
                                 .value(0);
        QCOMPARE(w.value(0).toString(), me.hostName);
        QCOMPARE(w.value(1).toString(), me.desktopUser);
        QCOMPARE(w.value(2).toString(), QString("1.0.0"));
        QCOMPARE(w.value(3).toInt(), 60);
        QCOMPARE(w.value(4).toInt(), 15);
        QCOMPARE(w.value(5).toInt(), 1);
        QCOMPARE(w.value(6).toInt(), 1);
        QCOMPARE(w.value(7).toInt(), 0);
        QVERIFY(w.value(8).isNull());
        QVERIFY(w.value(9).toInt() <= 2);
        QCOMPARE(w.value(10).toInt(), 1);

        const qint64 id = addAlert(20);
        const QDateTime before = testdb::scalar("SELECT NOW(3)").toDateTime();
        QVERIFY(poll());
        QCOMPARE(ringLog->rings, 1);
        QTRY_COMPARE(testdb::scalar("SELECT COUNT(*) FROM receipts").toInt(), 1);
        const QDateTime after = testdb::scalar("SELECT NOW(3)").toDateTime();
        const QSqlRecord r =
            testdb::rows("SELECT r.AlertID, r.CodeDate = a.CodeDate AND r.CodeTime = a.CodeTime, r.CodeName, "
                         "r.CodeLocation, r.HostName, r.DesktopUser, r.ShownAt, r.RingResult, r.RingReason, "
                         "r.VolumeBefore, r.VolumeDuring, r.VolumeAfter, r.MuteLifted, r.MuteRestored, r.RangAt, "
                         "r.ClosedAt FROM receipts r JOIN alerts a ON a.ID = r.AlertID")
                .value(0);
        QCOMPARE(r.value(0).toLongLong(), id);
        QCOMPARE(r.value(1).toInt(), 1);
        QCOMPARE(r.value(2).toString(), QString("Code Red"));
        QCOMPARE(r.value(3).toString(), QString("East Wing"));
        QCOMPARE(r.value(4).toString(), me.hostName);
        QCOMPARE(r.value(5).toString(), me.desktopUser);
        // Server times: shown after the poll began, rung after it was shown, both before now.
        QVERIFY2(r.value(6).toDateTime() >= before.addMSecs(-20) && r.value(6).toDateTime() <= after,
                 qPrintable(r.value(6).toDateTime().toString(Qt::ISODateWithMs)));
        QCOMPARE(r.value(7).toString(), QString("played"));
        QVERIFY(r.value(8).isNull());
        QCOMPARE(r.value(9).toInt(), 5000);
        QCOMPARE(r.value(10).toInt(), 15000);
        QCOMPARE(r.value(11).toInt(), 5000);
        QCOMPARE(r.value(12).toInt(), 1);
        QCOMPARE(r.value(13).toInt(), 1);
        QVERIFY(r.value(14).toDateTime() >= r.value(6).toDateTime() && r.value(14).toDateTime() <= after);
        QVERIFY(r.value(15).isNull());

        // The user closes the popup: the receipt says when, and a second close changes nothing.
        popup->userCloses();
        QTRY_VERIFY(!testdb::scalar("SELECT ClosedAt FROM receipts").isNull());
        const QDateTime closed = testdb::scalar("SELECT ClosedAt FROM receipts").toDateTime();
        QVERIFY(closed >= r.value(6).toDateTime());
        QVERIFY(poll());
        QVERIFY(popup->open);
        popup->userCloses();
        QTest::qWait(500);
        QCOMPARE(testdb::scalar("SELECT ClosedAt FROM receipts").toDateTime(), closed);
        // Shown again without a ring, and without a second receipt.
        QCOMPARE(ringLog->rings, 1);
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM receipts").toInt(), 1);
        QCOMPARE(failures, 0);
    }

    void databaseWithoutTheDeliveryTables() {
        testdb::dropDeliveryTables();
        hv::RingReport rang;
        rang.result = hv::RingReport::Result::Played;
        makePoller(rang, {true, true, true});
        poller->readTooltipAtStart();
        addAlert(20);
        QVERIFY(poll());
        QVERIFY(popup->open);
        QCOMPARE(popup->shown.size(), 1);
        QCOMPARE(ringLog->rings, 1);
        QTest::qWait(500); // the receipt's one try, after the ring
        // The server said no once for the check-in and once for the receipt; the next polls of the
        // minute ask nothing more, and nothing of it reached the failure table.
        const qint64 before = inserts();
        QVERIFY(poll());
        QVERIFY(poll());
        QCOMPARE(inserts(), before);
        QCOMPARE(popup->shown.size(), 3);
        QCOMPARE(ringLog->rings, 1);
        QCOMPARE(failures, 0);
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'halvane' AND "
                                "TABLE_NAME IN ('workstations', 'receipts')")
                     .toInt(),
                 0);
    }

    // The receipt the live-alert picture owes waits for a server out of reach and goes with the
    // next connection that reaches one, once.
    void receiptKeptWhileTheServerIsAwayAndDatedByItsClock() {
        // Purged from the live table since, as after midnight: the log still names it.
        testdb::exec("INSERT INTO AlertLog (CodeName, CodeDate, CodeTime, CodeLocation) VALUES ('Code Red', "
                     "'2026-11-30', '14:03:00', 'East Wing')");
        hv::LiveAlerts alerts;
        hv::PollSnapshot s;
        s.statementRan = true;
        s.alerts = {{{7, QDate(2026, 11, 30), QTime(14, 3)}, false, "Code Red", "East Wing", "Go", ""}};
        QVERIFY(alerts.polled(s).ring);
        alerts.ringing(1);
        hv::RingReport noDevice;
        noDevice.result = hv::RingReport::Result::NoDevice;
        noDevice.reason = "snd_pcm_open: No such file or directory";
        QVERIFY(alerts.rang(1, noDevice));

        hv::DatabaseWorker away(hv::ServerList::forHosts(testdb::hostUnreachable()), {}, me);
        hv::LiveAlerts::Batch batch = alerts.takeOwed();
        alerts.written(batch, away.writeNow(batch));
        QCOMPARE(alerts.pending(), 1);
        QTest::qWait(1500);
        // The next poll's connection takes it, once.
        hv::DatabaseWorker here(hv::ServerList::forHosts(testdb::host()), {}, me);
        hv::Connection c(hv::DatabaseNode(testdb::host()));
        batch = alerts.takeOwed();
        QCOMPARE(batch.receipts.size(), 1);
        alerts.written(batch, here.write(c, batch));
        QCOMPARE(alerts.pending(), 0);
        const QSqlRecord r = testdb::rows("SELECT TIMESTAMPDIFF(MICROSECOND, ShownAt, NOW(3)), RingResult, RingReason, "
                                          "VolumeBefore, MuteLifted FROM receipts")
                                 .value(0);
        // Shown a second and a half ago by the server's clock, whenever it was written.
        QVERIFY2(r.value(0).toLongLong() >= 1400000 && r.value(0).toLongLong() < 5000000,
                 qPrintable(r.value(0).toString()));
        QCOMPARE(r.value(1).toString(), QString("no device"));
        QCOMPARE(r.value(2).toString(), noDevice.reason);
        QVERIFY(r.value(3).isNull());
        QVERIFY(r.value(4).isNull());
        // Written once: nothing more is owed.
        QVERIFY(alerts.takeOwed().isEmpty());
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM receipts").toInt(), 1);
    }
};

QTEST_MAIN(TestDeliveryTray)
#include "tst_delivery_tray.moc"
