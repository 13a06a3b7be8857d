// What travels on the wake-up channel and what a workstation makes of it: an alert and a
// cancellation come back as they were sent; anything that is not exactly that, for this site, at
// a time that can still be current, is dropped unshown.
#include "IniSettings.h"
#include "SavedAlert.h"
#include "WakeMessage.h"
#include "WakeSettings.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using hv::WakeMessage;

class TestWakeMessage : public QObject {
    Q_OBJECT

    static hv::SavedAlert saved() {
        hv::SavedAlert a;
        a.alertId = 2147483647;
        a.codeDate = QDate(2026, 12, 10);
        a.codeTime = QTime(9, 31);
        a.codeName = "Code Red ☎";
        a.codeLocation = "East \"Wing\"";
        a.codeMessage = QString("Line one\nline two ") + QString(580, u'é');
        a.comments = "";
        return a;
    }

    static QByteArray with(const char* key, const QJsonValue& value) {
        QJsonObject o = QJsonDocument::fromJson(WakeMessage::alert("north", saved()).encode()).object();
        if (value.isUndefined())
            o.remove(QLatin1String(key));
        else
            o.insert(QLatin1String(key), value);
        return QJsonDocument(o).toJson(QJsonDocument::Compact);
    }

private slots:
    void sentAsStored() {
        const hv::ParsedWake alert = WakeMessage::parse(WakeMessage::alert("north", saved()).encode(), "north");
        QVERIFY(alert.message);
        QCOMPARE(alert.message->kind, WakeMessage::Kind::Alert);
        QCOMPARE(alert.message->id, 2147483647);
        QCOMPARE(alert.message->codeDate, QDate(2026, 12, 10));
        QCOMPARE(alert.message->codeTime, QTime(9, 31));
        QCOMPARE(alert.message->codeName, saved().codeName);
        QCOMPARE(alert.message->codeLocation, saved().codeLocation);
        QCOMPARE(alert.message->codeMessage, saved().codeMessage);
        QCOMPARE(alert.message->comments, QString());

        const hv::ParsedWake cancel =
            WakeMessage::parse(WakeMessage::cancel("north", 7, QDate(2026, 12, 10), QTime(9, 31)).encode(), "north");
        QVERIFY(cancel.message);
        QCOMPARE(cancel.message->kind, WakeMessage::Kind::Cancel);
        QCOMPARE(cancel.message->id, 7);
    }

    void droppedUnshown_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("why");
        const int unreadable = int(WakeMessage::Drop::Unreadable);
        QTest::newRow("not JSON") << QByteArray("{\"halvane\":1,") << unreadable;
        QTest::newRow("an array") << QByteArray("[1,2]") << unreadable;
        QTest::newRow("another format") << with("halvane", 2) << unreadable;
        QTest::newRow("another site") << with("site", "south") << int(WakeMessage::Drop::OtherSite);
        QTest::newRow("no site") << with("site", QJsonValue::Undefined) << unreadable;
        QTest::newRow("an unknown kind") << with("kind", "test") << unreadable;
        QTest::newRow("an ID with a fraction") << with("id", 4.5) << unreadable;
        QTest::newRow("an ID out of range") << with("id", 4294967296.0) << unreadable;
        QTest::newRow("an ID as text") << with("id", "4") << unreadable;
        QTest::newRow("a date that is none") << with("date", "2026-02-30") << unreadable;
        QTest::newRow("a time with a fraction") << with("time", "09:31:00.5") << unreadable;
        QTest::newRow("a code longer than its column") << with("code", QString(256, u'x')) << unreadable;
        QTest::newRow("a message longer than its column") << with("message", QString(601, u'x')) << unreadable;
        QTest::newRow("no comments") << with("comments", QJsonValue::Undefined) << unreadable;
        QTest::newRow("too large") << QByteArray(WakeMessage::kMaxBytes + 1, ' ') << int(WakeMessage::Drop::TooLarge);
    }
    void droppedUnshown() {
        QFETCH(QByteArray, payload);
        QFETCH(int, why);
        const hv::ParsedWake parsed = WakeMessage::parse(payload, "north");
        QVERIFY(!parsed.message);
        QCOMPARE(int(parsed.drop), why);
    }

    // Within the alert's window, give or take the site's clock tolerance.
    void plausibleOnlyWhileItCanBeCurrent() {
        const WakeMessage m = WakeMessage::alert("north", saved());
        const QDateTime minute(QDate(2026, 12, 10), QTime(9, 31));
        QVERIFY(m.plausibleAt(minute.addSecs(5)));
        QVERIFY(m.plausibleAt(minute.addSecs(-59)));
        QVERIFY(!m.plausibleAt(minute.addSecs(-61)));
        QVERIFY(m.plausibleAt(minute.addSecs(239)));
        QVERIFY(!m.plausibleAt(minute.addSecs(241)));
    }

    // The brokers as halvane.ini names them: default ports with and without TLS, and each
    // program's own account.
    void settingsFromTheFile() {
        const hv::IniSettings ini = hv::IniSettings::fromText("MYSQLSERVERNAME=db\n"
                                                              "MQTTSERVERNAME=a\n"
                                                              "MQTTSERVERNAME=b:2000\n"
                                                              "MQTTSERVERNAME=[fe80::1]\n"
                                                              "MORVIKMQTTUSER=m\n"
                                                              "HALVANEMQTTUSER=h\n"
                                                              "MQTTSSLCA=/ca.pem\n");
        const hv::WakeSettings tray = hv::WakeSettings::forTray(ini);
        QStringList brokers;
        for (const hv::WakeBroker& b : tray.brokers)
            brokers << b.text();
        QCOMPARE(brokers, QStringList({"a:8883", "b:2000", "[fe80::1]:8883"}));
        QCOMPARE(tray.user, QString("m"));
        QVERIFY(tray.tls);
        QCOMPARE(tray.topic(), QString("halvane/halvane/alerts"));
        QCOMPARE(hv::WakeSettings::forConsole(ini).user, QString("h"));
        QVERIFY(!hv::WakeSettings::forTray(hv::IniSettings::fromText("MYSQLSERVERNAME=db\n")).enabled());
    }
};

QTEST_GUILESS_MAIN(TestWakeMessage)
#include "tst_wake_message.moc"
