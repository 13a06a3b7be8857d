// The wake-up channel's encryption against the project's own broker: with an authority named, a
// message goes only to a broker whose certificate that authority signed for the name it is reached
// by, and never in plain text.
#include "WakePublisher.h"

#include <QtTest>

class TestWakeTls : public QObject {
    Q_OBJECT

    static QString tls(const QString& file) { return qEnvironmentVariable("HALVANE_STATE") + "/db/tls/" + file; }

private slots:
    void onlyTheRightBrokerHearsIt_data() {
        QTest::addColumn<QString>("broker");
        QTest::addColumn<QString>("ca");
        QTest::addColumn<bool>("reached");
        QTest::addColumn<QString>("why");
        QTest::newRow("the site's authority, the broker's name") << "127.0.0.1:8883"
                                                                 << "ca.pem" << true << "";
        QTest::newRow("the same broker, named as its certificate says") << "localhost:8883"
                                                                        << "ca.pem" << true << "";
        QTest::newRow("another authority") << "127.0.0.1:8883"
                                           << "other-ca.pem" << false << "TLS";
        QTest::newRow("the site's authority, a certificate for another name") << "127.0.0.1:8884"
                                                                              << "ca.pem" << false << "TLS";
        QTest::newRow("TLS asked for, a broker without it") << "127.0.0.1:1883"
                                                            << "ca.pem" << false << "";
        QTest::newRow("the authority's file missing") << "127.0.0.1:8883"
                                                      << "missing.pem" << false << "cannot be read";
        QTest::newRow("plain text to a broker that takes TLS only") << "127.0.0.1:8883"
                                                                    << "" << false << "";
    }
    void onlyTheRightBrokerHearsIt() {
        QFETCH(QString, broker);
        QFETCH(QString, ca);
        QFETCH(bool, reached);
        QFETCH(QString, why);
        QVERIFY2(QFile::exists(tls("ca.pem")), "the private authority is missing; run the tests through ctest, which "
                                               "starts the broker with TLS");
        hv::WakeSettings s;
        s.brokers << hv::WakeSettings::brokerOf(broker, !ca.isEmpty());
        s.tls = !ca.isEmpty();
        s.caFile = ca.isEmpty() ? QString() : tls(ca);
        s.user = "halvane";
        s.password = "WAKE-PUB-41736";
        s.site = hv::WakeSettings::defaultSite();
        const hv::WakePublisher publisher(s);
        hv::SavedAlert a;
        a.alertId = 1;
        a.codeDate = QDate::currentDate();
        a.codeTime = QTime(10, 0);
        const hv::WakePublisher::Outcome out = publisher.publish(publisher.messagesFor({a}), QDeadlineTimer(3000));
        QCOMPARE(out.reached.isEmpty(), !reached);
        QCOMPARE(out.problems.isEmpty(), reached);
        if (!why.isEmpty()) QVERIFY2(out.problems.join(' ').contains(why), qPrintable(out.problems.join(' ')));
    }
};

QTEST_GUILESS_MAIN(TestWakeTls)
#include "tst_wake_tls.moc"
