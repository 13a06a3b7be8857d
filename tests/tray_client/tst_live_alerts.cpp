// The live-alert picture fed scripted polls: what the popup shows, when it rings and speaks, and
// what the workstation owes the delivery tables, without a window, a thread or a server.
#include "alerts/LiveAlerts.h"

#include <QtTest>

using hv::LiveAlerts;
using hv::PolledAlert;
using hv::PollSnapshot;
using hv::WriteOutcome;

namespace {

PolledAlert alert(qint64 id, const QString& name, bool cancelled = false) {
    PolledAlert a;
    a.key = {id, QDate(2026, 12, 9), QTime(10, int(id % 60))};
    a.codeName = name;
    a.codeLocation = "Lobby";
    a.codeMessage = "Go";
    a.cancelled = cancelled;
    return a;
}

PollSnapshot read(QList<PolledAlert> alerts, bool readAloud = false) {
    PollSnapshot s;
    s.statementRan = true;
    s.cancellationsRead = true;
    s.alerts = std::move(alerts);
    if (!s.alerts.isEmpty()) s.readAloud = readAloud;
    return s;
}

QStringList names(const QList<hv::ShownAlert>& alerts) {
    QStringList out;
    for (const hv::ShownAlert& a : alerts)
        out << a.codeName;
    return out;
}

} // namespace

class TestLiveAlerts : public QObject {
    Q_OBJECT

private slots:
    // New, repeated, a second one, cancelled, a poll that did not reach the database, cleared.
    void whatThePopupShowsAndWhenItRings() {
        LiveAlerts live;
        LiveAlerts::Showing s = live.polled(read({alert(4, "Code Red")}, true));
        QCOMPARE(s.alerts, 1);
        QVERIFY(s.text.contains(" - CODE Code Red\r\nLocation = Lobby\r\nGo\r\n"));
        QVERIFY(s.ring);
        QCOMPARE(s.words, QString("Code Red. Location: Lobby. Go"));
        QCOMPARE(live.intLastID(), 4);

        s = live.polled(read({alert(4, "Code Red")}, true));
        QCOMPARE(s.alerts, 1);
        QVERIFY(!s.ring);
        QVERIFY(s.words.isEmpty());

        // A second one rings once more; its words only where the site has them read aloud.
        s = live.polled(read({alert(9, "Code Blue"), alert(4, "Code Red")}));
        QCOMPARE(names(live.onScreen()), QStringList({"Code Red", "Code Blue"}));
        QVERIFY(s.ring);
        QVERIFY(s.words.isEmpty());
        QCOMPARE(live.intLastID(), 9);

        // Cancelled: gone from the popup, and it stays gone when a later poll cannot read the
        // cancellations; a new alert that comes cancelled never rings.
        s = live.polled(read({alert(4, "Code Red"), alert(9, "Code Blue", true), alert(11, "Code Grey", true)}));
        QCOMPARE(names(live.onScreen()), QStringList({"Code Red"}));
        QVERIFY(!s.ring);
        PollSnapshot blind = read({alert(4, "Code Red"), alert(9, "Code Blue")});
        blind.cancellationsRead = false;
        QVERIFY(!live.polled(blind).ring);
        QCOMPARE(names(live.onScreen()), QStringList({"Code Red"}));

        // A poll that did not reach the database shows nothing and forgets nothing.
        PollSnapshot lost;
        lost.failure = hv::Failure(hv::code::CannotOpen);
        QCOMPARE(live.polled(lost).alerts, 0);
        QVERIFY(live.onScreen().isEmpty());
        QVERIFY(!live.polled(read({alert(4, "Code Red")})).ring);

        // Once out of the window it is new again if it ever comes back.
        QCOMPARE(live.polled(read({})).alerts, 0);
        QVERIFY(live.polled(read({alert(4, "Code Red")})).ring);
    }

    // A receipt waits for its ring, goes once, comes back when the server was not reached, and a
    // close rides on a receipt not yet written or follows one already written.
    void receiptsAndClosesOwed() {
        LiveAlerts live;
        QVERIFY(live.polled(read({alert(4, "Code Red")})).ring);
        QVERIFY(live.takeOwed().isEmpty()); // the ring has not ended
        live.ringing(1);
        hv::RingReport played;
        played.result = hv::RingReport::Result::Played;
        QVERIFY(!live.rang(2, played)); // another ring (Test Sound)
        QVERIFY(live.rang(1, played));
        QCOMPARE(live.pending(), 1);

        // Closed before the receipt was written: the receipt carries the moment.
        QVERIFY(live.closedByUser());
        LiveAlerts::Batch batch = live.takeOwed();
        QCOMPARE(batch.receipts.size(), 1);
        QVERIFY(batch.closes.isEmpty());
        QVERIFY(batch.receipts.front().closedAt.isValid());
        QCOMPARE(batch.receipts.front().ring.result, hv::RingReport::Result::Played);
        QVERIFY(live.takeOwed().isEmpty()); // on its way
        live.written(batch, {WriteOutcome::Lost, {}});
        batch = live.takeOwed();
        QCOMPARE(batch.receipts.size(), 1);
        live.written(batch, {WriteOutcome::Written, {}});
        QCOMPARE(live.pending(), 0);

        // The popup comes back with the next poll; the first close counted.
        live.polled(read({alert(4, "Code Red")}));
        QVERIFY(!live.closedByUser());

        // A new alert whose receipt is written, then closed: the close follows on its own; a server
        // that refuses it is not asked again within the period.
        live.polled(read({alert(4, "Code Red"), alert(6, "Code Blue")}));
        live.ringing(3);
        live.rang(3, played);
        batch = live.takeOwed();
        live.written(batch, {WriteOutcome::Written, {}});
        QVERIFY(live.closedByUser());
        batch = live.takeOwed();
        QCOMPARE(batch.closes.size(), 1);
        QCOMPARE(batch.closes.front().alert.codeName, QString("Code Blue"));
        live.written(batch, {std::nullopt, {WriteOutcome::Refused}});
        QCOMPARE(live.pending(), 1);
        QVERIFY(live.takeOwed().isEmpty());

        // Out of the window, what is owed keeps the alert known; settled, it is forgotten.
        live.polled(read({}));
        QCOMPARE(live.pending(), 1);
        QVERIFY(live.onScreen().isEmpty());
    }

    // The wake-up channel: shown and rung at once, never twice; the database has the last word.
    void wokenAlertsAndTheDatabasesWord() {
        LiveAlerts live;
        live.setWakeChannel(true);
        live.pollStarting(); // a poll under way, which read the database before the alert came
        LiveAlerts::Showing s = live.woken(alert(4, "Code Red"));
        QVERIFY(s.changed);
        QCOMPARE(s.alerts, 1);
        QVERIFY(s.ring);
        QVERIFY(!live.woken(alert(4, "Code Red")).changed); // a second copy
        QVERIFY(live.polled(read({})).alerts == 1);         // that poll does not count against it
        hv::RingReport played;
        played.result = hv::RingReport::Result::Played;
        live.ringing(1);
        live.rang(1, played);
        // Its receipt rides on a poll, and goes only where that poll finds the alert.
        QVERIFY(live.takeOwed(false).isEmpty());
        LiveAlerts::Batch batch = live.takeOwed(true);
        QCOMPARE(batch.receipts.size(), 1);
        QVERIFY(batch.receipts.front().needsConfirmation);
        QCOMPARE(batch.receipts.front().channel, QString("wake"));
        live.written(batch, {std::nullopt, {}, {batch.receiptKeys.front()}});
        live.pollStarting();
        s = live.polled(read({alert(4, "Code Red")}));
        QCOMPARE(s.alerts, 1);
        QVERIFY(!s.ring);
        batch = live.takeOwed(true);
        QVERIFY(!batch.receipts.front().needsConfirmation);
        live.written(batch, {WriteOutcome::Written, {}});
        QCOMPARE(live.pending(), 0);

        // Not in the database: two polls that started after it came take it down, without a
        // receipt; a poll that shows it later after all shows it without a second ring.
        QVERIFY(live.woken(alert(6, "Code Blue")).ring);
        live.ringing(2);
        live.rang(2, played);
        for (int poll = 0; poll < 2; ++poll) {
            live.pollStarting();
            s = live.polled(read({alert(4, "Code Red")}));
        }
        QCOMPARE(names(live.onScreen()), QStringList({"Code Red"}));
        QCOMPARE(live.unconfirmed(), 1);
        QVERIFY(live.takeOwed(true).isEmpty());
        QVERIFY(!live.woken(alert(6, "Code Blue")).changed);
        s = live.polled(read({alert(4, "Code Red"), alert(6, "Code Blue")}));
        QCOMPARE(s.alerts, 2);
        QVERIFY(!s.ring);

        // The database out of reach: what came by wake-up stays, what came by poll goes as always.
        QVERIFY(live.polled(read({alert(4, "Code Red"), alert(6, "Code Blue"), alert(10, "Drill")})).ring);
        QVERIFY(live.woken(alert(8, "Code Grey")).ring);
        PollSnapshot lost;
        lost.failure = hv::Failure(hv::code::CannotOpen);
        s = live.polled(lost);
        QCOMPARE(names(live.onScreen()), QStringList({"Code Red", "Code Blue", "Code Grey"}));
        QVERIFY(!s.ring);

        // A cancellation by wake-up closes at once; two polls that show no cancellation put the
        // alert back without a ring; one the database holds keeps it closed.
        s = live.cancelWoken(alert(4, "Code Red").key);
        QVERIFY(s.changed);
        QCOMPARE(names(live.onScreen()), QStringList({"Code Blue", "Code Grey"}));
        const auto confirmedAll = [&](bool fourCancelled) {
            live.pollStarting();
            return live.polled(
                read({alert(4, "Code Red", fourCancelled), alert(6, "Code Blue"), alert(8, "Code Grey")}));
        };
        confirmedAll(false);
        QCOMPARE(live.onScreen().size(), 2);
        s = confirmedAll(false);
        QCOMPARE(names(live.onScreen()), QStringList({"Code Red", "Code Blue", "Code Grey"}));
        QVERIFY(!s.ring);
        live.cancelWoken(alert(4, "Code Red").key);
        s = confirmedAll(true);
        s = confirmedAll(true);
        QCOMPARE(names(live.onScreen()), QStringList({"Code Blue", "Code Grey"}));
    }
};

QTEST_MAIN(TestLiveAlerts)
#include "tst_live_alerts.moc"
