#include "AlertStore.h"
#include "Connection.h"
#include "DeliveryWrites.h"
#include "FixedClock.h"
#include "TestDb.h"
#include "TrayStore.h"
#include "WakeMessage.h"
#include "popup/FullScreenWindow.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

// Dated half a minute back, so that the alert is current (older than its minute's start) at once.
QList<hv::SavedAlert> send(const QList<hv::AlertStore::Alert>& alerts) {
    hv::AlertStore store(hv::ServerList::forHosts(testdb::host()));
    FixedClock clock(QDateTime::currentDateTime().addSecs(-30));
    return store.save(alerts, clock, {}).alerts;
}

QMap<QString, hv::AlertPresentation> polled() {
    hv::TrayStore store(hv::ServerList::forHosts(testdb::host()));
    const hv::PollSnapshot s = store.fetchAlerts();
    if (!s.statementRan) qWarning("the poll did not run");
    QMap<QString, hv::AlertPresentation> out;
    for (const hv::PolledAlert& a : s.alerts)
        out.insert(a.codeName, a.presentation);
    return out;
}

hv::WriteOutcome answer(const hv::SavedAlert& alert, const QString& text) {
    hv::Connection conn(hv::DatabaseNode(testdb::host()));
    hv::AnswerWrite a{{alert.alertId, alert.codeDate, alert.codeTime, alert.codeName, alert.codeLocation}, text, {}};
    a.answeredAt.start();
    return hv::DeliveryWrites::writeAnswer(conn, {"PC1", "ann"}, a);
}

} // namespace

class TestPresentations : public QObject {
    Q_OBJECT

    hv::AlertPresentation m_lockdown;

private slots:
    void initTestCase() {
        REQUIRE_DB();
        m_lockdown.fullScreen = true;
        m_lockdown.untilAnswered = true;
        m_lockdown.answers = QStringList{"I'm safe", "Need help"};
        m_lockdown.helpAnswer = 1;
    }
    void init() {
        testdb::reset();
        testdb::exec(
            "INSERT INTO codes (CodeName, Comments) VALUES ('Code Red', ''), ('Code Blue', ''), ('Drill', '')");
        // Answers stored in places 1 and 3: the buttons close up, and the call for help follows.
        testdb::exec("INSERT INTO codepresentations (CodeName, Presentation, RingMode, Answer1, Answer3, HelpAnswer) "
                     "VALUES ('Code Red', 'fullscreen', 'untilanswered', 'I''m safe', 'Need help', 3), "
                     "('Drill', 'balloon', 'once', NULL, NULL, 0)");
    }

    // The code's presentation goes with its alert in the submission; the poll and the wake-up
    // message carry it; a code without one (or with the default) keeps the balloon, and a CAP
    // message's wish applies only where the code has none.
    void theSubmissionKeepsThePresentationAndThePollReadsIt() {
        hv::AlertStore::Alert red{"Code Red", "Lobby", std::nullopt};
        hv::AlertStore::Alert blue{"Code Blue", "Lobby", std::nullopt};
        hv::AlertStore::Alert drill{"Drill", "Lobby", std::nullopt};
        hv::AlertPresentation wished;
        wished.fullScreen = true;
        red.presentationIfNone = wished;
        const QList<hv::SavedAlert> saved = send({red, blue, drill});
        QCOMPARE(saved[0].presentation, std::optional(m_lockdown));
        QVERIFY(!saved[1].presentation);
        QVERIFY(!saved[2].presentation);
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM alertpresentations").toInt(), 1);

        blue.presentationIfNone = wished;
        send({blue});
        const auto p = polled();
        QCOMPARE(p.value("Code Red"), m_lockdown);
        QCOMPARE(p.value("Drill"), hv::AlertPresentation());
        QCOMPARE(p.value("Code Blue"), wished);

        const hv::WakeMessage m = hv::WakeMessage::alert("site", saved[0]);
        QCOMPARE(hv::WakeMessage::parse(m.encode(), "site").message->presentation, std::optional(m_lockdown));
        // One that cannot be shown in full (a blank answer) is dropped for the poll to bring.
        QByteArray broken = m.encode();
        broken.replace("\"Need help\"", "\" \"");
        QVERIFY(!hv::WakeMessage::parse(broken, "site").message);
    }

    // Only an answer the alert offered is stored, the call for help marked; the first one stays.
    void answersAreCheckedAndTheFirstStays() {
        const QList<hv::SavedAlert> saved =
            send({{"Code Red", "Lobby", std::nullopt}, {"Drill", "Lobby", std::nullopt}});
        QCOMPARE(answer(saved[0], "I'm fine"), hv::WriteOutcome::Refused);
        QCOMPARE(answer(saved[1], "Acknowledge"), hv::WriteOutcome::Refused);
        QCOMPARE(answer(saved[0], "Need help"), hv::WriteOutcome::Written);
        QCOMPARE(answer(saved[0], "I'm safe"), hv::WriteOutcome::Written);
        QCOMPARE(testdb::scalar("SELECT CONCAT_WS(' ', HostName, DesktopUser, Answer, CallsForHelp) FROM answers")
                     .toString(),
                 QString("PC1 ann Need help 1"));
    }

    // A database from before presentations: the balloon and one ring, the alert sent all the same.
    void anOlderDatabaseShowsTheBalloon() {
        testdb::exec("DROP TABLE alertpresentations");
        auto restore = qScopeGuard([] { testdb::upgrade(); });
        const QList<hv::SavedAlert> saved = send({{"Code Red", "Lobby", std::nullopt}});
        QVERIFY(!saved[0].presentation);
        QCOMPARE(polled().value("Code Red"), hv::AlertPresentation());
        QCOMPARE(polled().size(), 1);
    }

    // Keys: nothing pressed in the first moment or held down answers; a fresh press on a chosen
    // button does. The window takes the focus itself, with no button chosen.
    void onlyAFreshKeyPressAnswers() {
        hv::PolledAlert alert;
        alert.codeName = "Code Red";
        alert.presentation = m_lockdown;
        hv::FullScreenWindow w(alert, 0);
        QSignalSpy answered(&w, &hv::FullScreenWindow::closedByUser);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.answerButtons().size(), 2);
        QPushButton* safe = w.answerButtons().front();
        QCOMPARE(safe->text(), QString("I'm safe"));
        safe->setFocus();
        QTest::keyClick(safe, Qt::Key_Space);
        QTest::qWait(hv::FullScreenWindow::KeyGraceMs + 100);
        QCOMPARE(answered.count(), 0);
        // Held since before the window came: only its repeats and its release arrive.
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ", true);
        QApplication::sendEvent(safe, &repeat);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
        QApplication::sendEvent(safe, &release);
        QCOMPARE(answered.count(), 0);
        QTest::keyClick(safe, Qt::Key_Space);
        QCOMPARE(answered.count(), 1);
        QCOMPARE(answered.front().front().toString(), QString("I'm safe"));
    }
};

QTEST_MAIN(TestPresentations)
#include "tst_presentations.moc"
