#include "AlertStore.h"
#include "FixedClock.h"
#include "HostPattern.h"
#include "TestDb.h"
#include "TrayStore.h"
#include "WakeMessage.h"

#include <QtTest>

namespace {

// One alert live now, its patterns as a submission writes them; its ID.
qint64 liveAlertFor(const QStringList& patterns) {
    testdb::exec("INSERT INTO alerts (CodeName, CodeDate, CodeTime, CodeLocation) VALUES ('Spill', CURRENT_DATE, "
                 "TIME(NOW() - INTERVAL 20 SECOND), 'Lab 3')");
    const qint64 id = testdb::scalar("SELECT MAX(ID) FROM alerts").toLongLong();
    if (!patterns.isEmpty())
        testdb::exec("INSERT INTO alertaudiences (CodeDate, CodeTime, AlertID, AudienceName) SELECT CodeDate, "
                     "CodeTime, ID, 'Lab 3' FROM alerts WHERE ID = ?",
                     {id});
    for (const QString& p : patterns)
        testdb::exec("INSERT INTO alertpatterns (CodeDate, CodeTime, AlertID, Pattern, LikePattern) SELECT CodeDate, "
                     "CodeTime, ID, ?, ? FROM alerts WHERE ID = ?",
                     {p, hv::hostpattern::likeForm(p), id});
    return id;
}

// The IDs a workstation of this name reads in its poll.
QList<qint64> polledBy(const QString& hostName) {
    hv::TrayStore store(hv::ServerList::forHosts(testdb::host()));
    store.setHostName(hostName);
    const hv::PollSnapshot s = store.fetchAlerts();
    if (!s.statementRan) qWarning("the poll did not run");
    QList<qint64> ids;
    for (const hv::PolledAlert& a : s.alerts)
        ids << a.key.id;
    return ids;
}

} // namespace

class TestAudiences : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { REQUIRE_DB(); }
    void init() { testdb::reset(); }

    // The one table of cases the matching and the poll (the patterns stored by the real server and
    // read back, accents and all) are both held to: a wake-up message and the poll must never
    // disagree, or a woken alert would be taken down.
    void patternCases_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("member");
        QTest::newRow("prefix") << "LAB3-*"
                                << "LAB3-PC07" << true;
        QTest::newRow("letter case aside") << "lab3-*"
                                           << "Lab3-pc07" << true;
        QTest::newRow("star matches nothing too") << "LAB3-*"
                                                  << "LAB3-" << true;
        QTest::newRow("another lab") << "LAB3-*"
                                     << "LAB30-PC07" << false;
        QTest::newRow("question mark is one character") << "WARD-?"
                                                        << "WARD-7" << true;
        QTest::newRow("question mark not two") << "WARD-?"
                                               << "WARD-17" << false;
        QTest::newRow("question mark not none") << "WARD-?"
                                                << "WARD-" << false;
        QTest::newRow("inside") << "*-LAB3-*"
                                << "B2-LAB3-PC1" << true;
        QTest::newRow("backtracking") << "*a*b"
                                      << "xaxxbab" << true;
        QTest::newRow("backtracking fails") << "*a*b"
                                            << "xaxxba" << false;
        QTest::newRow("host name exactly") << "front-desk"
                                           << "FRONT-DESK" << true;
        QTest::newRow("host name is not a prefix") << "front-desk"
                                                   << "front-desk2" << false;
        QTest::newRow("underscore is itself") << "LAB_3"
                                              << "LABX3" << false;
        QTest::newRow("underscore matches underscore") << "LAB_3"
                                                       << "lab_3" << true;
        QTest::newRow("percent is itself") << "a%"
                                           << "abc" << false;
        QTest::newRow("escape character is itself") << "a!b*"
                                                    << "a!bc" << true;
        QTest::newRow("accents count") << "café-*"
                                       << "cafe-1" << false;
        QTest::newRow("accented letter case aside") << "ÉTAGE-*"
                                                    << "étage-2" << true;
        QTest::newRow("one character beyond UTF-16") << "x?y"
                                                     << "x\U0001F525y" << true;
        QTest::newRow("everyone's star") << "*"
                                         << "anything" << true;
    }
    void patternCases() {
        QFETCH(QString, pattern);
        QFETCH(QString, host);
        QFETCH(bool, member);
        QCOMPARE(hv::hostpattern::matches(pattern, host), member);
        const qint64 id = liveAlertFor({pattern});
        QCOMPARE(polledBy(host).contains(id), member);
    }

    // The poll's choice for one workstation: an alert without an audience for everyone, an alert
    // for an audience only for its members; a database without audiences shows every alert.
    void pollChoosesForTheWorkstation() {
        const qint64 everyone = liveAlertFor({});
        const qint64 lab3 = liveAlertFor({"LAB3-*", "SAFETY-OFFICE"});
        QCOMPARE(polledBy("lab3-pc1"), (QList<qint64>{everyone, lab3}));
        QCOMPARE(polledBy("safety-office"), (QList<qint64>{everyone, lab3}));
        QCOMPARE(polledBy("ward-2"), QList<qint64>{everyone});
        // A workstation that gives no name reads every alert, as before audiences.
        QCOMPARE(polledBy(QString()), (QList<qint64>{everyone, lab3}));

        auto restore = qScopeGuard([] { testdb::upgrade(); });
        testdb::exec("DROP TABLE alertpatterns");
        QCOMPARE(polledBy("ward-2"), (QList<qint64>{everyone, lab3}));
    }

    // The submission decides from the code and the location; the rows land with the alert, and
    // the wake-up message carries the same patterns.
    void submissionKeepsTheAudience() {
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('Spill', 'Leave the lab'), ('Fire', NULL)");
        testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('Lab 3'), ('Lobby')");
        testdb::exec("INSERT INTO audiences (AudienceName) VALUES ('Lab 3 benches'), ('Nobody yet')");
        testdb::exec("INSERT INTO audiencepatterns (AudienceID, Pattern) SELECT ID, 'LAB3-*' FROM audiences WHERE "
                     "AudienceName = 'Lab 3 benches' UNION ALL SELECT ID, 'SAFETY-OFFICE' FROM audiences WHERE "
                     "AudienceName = 'Lab 3 benches'");
        testdb::exec("INSERT INTO codereach (CodeName, LocationOnly) VALUES ('Spill', 1), ('Fire', 0)");
        testdb::exec("INSERT INTO locationaudiences (CodeLocation, AudienceID) SELECT 'Lab 3', ID FROM audiences "
                     "WHERE AudienceName = 'Lab 3 benches' UNION ALL SELECT 'Lobby', ID FROM audiences WHERE "
                     "AudienceName = 'Nobody yet'");

        hv::AlertStore store(hv::ServerList::forHosts(testdb::host()));
        FixedClock clock;
        const QString token = hv::AlertStore::newToken();
        // A spill in Lab 3 reaches its audience; a fire there reaches everyone; a spill where the
        // audience has no members yet reaches everyone, never nobody.
        const hv::AlertStore::Saved saved = store.save(
            {{"Spill", "Lab 3", std::nullopt}, {"Fire", "Lab 3", std::nullopt}, {"Spill", "Lobby", std::nullopt}},
            clock, {}, token);
        QCOMPARE(saved.alerts.size(), 3);
        const hv::AlertAudience lab3{"Lab 3 benches", {"LAB3-*", "SAFETY-OFFICE"}};
        QCOMPARE(saved.alerts[0].audience, std::optional(lab3));
        QCOMPARE(saved.alerts[1].audience, std::nullopt);
        QCOMPARE(saved.alerts[2].audience, std::nullopt);
        QCOMPARE(testdb::scalar("SELECT CONCAT(a.AlertID, ' ', a.AudienceName, ' ', COUNT(*)) FROM alertaudiences a "
                                "JOIN alertpatterns p USING (CodeDate, CodeTime, AlertID) GROUP BY a.AlertID")
                     .toString(),
                 QString("%1 Lab 3 benches 2").arg(saved.alerts[0].alertId));

        const hv::ParsedWake woken =
            hv::WakeMessage::parse(hv::WakeMessage::alert("halvane", saved.alerts[0]).encode(), "halvane");
        QVERIFY(woken.message);
        QVERIFY(woken.message->isFor("lab3-pc1"));
        QVERIFY(!woken.message->isFor("ward-2"));
        QVERIFY(hv::WakeMessage::parse(hv::WakeMessage::alert("halvane", saved.alerts[1]).encode(), "halvane")
                    .message->isFor("ward-2"));
        // An audience that cannot be judged in full is no message at all.
        QByteArray broken = hv::WakeMessage::alert("halvane", saved.alerts[0]).encode();
        broken.replace("\"LAB3-*\"", "7");
        QVERIFY(!hv::WakeMessage::parse(broken, "halvane").message);

        // A retry of the same submission finds it with its audience.
        const hv::AlertStore::Saved again = store.save(
            {{"Spill", "Lab 3", std::nullopt}, {"Fire", "Lab 3", std::nullopt}, {"Spill", "Lobby", std::nullopt}},
            clock, {}, token);
        QVERIFY(again.already);
        QCOMPARE(again.alerts[0].audience, std::optional(lab3));
        QCOMPARE(again.alerts[1].audience, std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestAudiences)
#include "tst_audiences.moc"
