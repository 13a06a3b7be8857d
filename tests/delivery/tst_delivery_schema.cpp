// db/upgrade.sql against the private server, applied with the server's own client as the README
// tells an administrator: it adds the delivery tables exactly as schema.sql makes them for a new
// site, and leaves every row and every other table as it was, however often it runs.
#include "TestDb.h"

#include <QtTest>

namespace {

const QStringList kOldTables{"alerts", "AlertLog", "codes", "locations", "users", "properties"};

QString createOf(const QString& table) {
    return testdb::rows("SHOW CREATE TABLE " + table).value(0).value(1).toString();
}

// Each table's definition and a checksum of its rows.
QStringList state(const QStringList& tables) {
    QStringList out;
    for (const QString& t : tables)
        out << createOf(t)
            << testdb::rows("CHECKSUM TABLE " + t).value(0).value(1).toString() +
                   " rows=" + testdb::scalar("SELECT COUNT(*) FROM " + t).toString();
    return out;
}

} // namespace

class TestDeliverySchema : public QObject {
    Q_OBJECT

private slots:
    void init() {
        REQUIRE_DB();
        testdb::reset();
    }

    void cleanup() {
        // Whatever happened above, the next test finds the tables of a new site.
        QString out;
        QVERIFY2(testdb::applyUpgrade(&out), qPrintable(out));
    }

    void upgradeAddsTheTablesAndTouchesNoRow() {
        const QString workstations = createOf("workstations");
        const QString receipts = createOf("receipts");

        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('Code Red', 'Go'), ('Drill', NULL)");
        testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('East Wing'), ('O''Brien Hall')");
        testdb::exec("INSERT INTO users (UserName, Password) VALUES ('admin', 'secret')");
        for (const char* table : {"alerts", "AlertLog"})
            testdb::exec(QString("INSERT INTO %1 (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation, Comments) "
                                 "VALUES ('Code Red', 'Line one\\nLine two', '2026-11-30', '14:03:00', 'East Wing', "
                                 "'Go'), ('Drill', NULL, CURRENT_DATE, '09:00:00', 'Lobby', NULL)")
                             .arg(table));
        testdb::exec("DELETE FROM alerts WHERE CodeName = 'Drill'"); // a gap in the IDs
        testdb::dropDeliveryTables();
        const QStringList before = state(kOldTables);
        const QVariant nextAlert = testdb::scalar(
            "SELECT AUTO_INCREMENT FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'halvane' AND TABLE_NAME = "
            "'alerts'");

        for (int run = 0; run < 2; ++run) {
            QString out;
            QVERIFY2(testdb::applyUpgrade(&out), qPrintable(out));
            QCOMPARE(state(kOldTables), before);
            QCOMPARE(createOf("workstations"), workstations);
            QCOMPARE(createOf("receipts"), receipts);
        }
        QCOMPARE(testdb::scalar("SELECT AUTO_INCREMENT FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'halvane' "
                                "AND TABLE_NAME = 'alerts'"),
                 nextAlert);

        // Once the workstations have reported, running it again keeps what they wrote.
        testdb::exec("INSERT INTO workstations (HostName, DesktopUser, ProgramVersion, FirstCheckIn, LastCheckIn, "
                     "CheckInSeconds, PollSeconds, SoundDevice, VolumeReadable, MuteReadable) VALUES "
                     "('ward-3', 'nurse', '1.0.0', NOW(), NOW(), 60, 15, 1, 1, 0)");
        testdb::exec("INSERT INTO receipts (CodeDate, CodeTime, AlertID, HostName, DesktopUser, CodeName, "
                     "CodeLocation, ShownAt, RingResult, VolumeBefore) VALUES "
                     "('2026-11-30', '14:03:00', 1, 'ward-3', 'nurse', 'Code Red', 'East Wing', NOW(3), 'played', "
                     "5000)");
        const QStringList all = kOldTables + QStringList{"workstations", "receipts"};
        const QStringList withReceipts = state(all);
        QString out;
        QVERIFY2(testdb::applyUpgrade(&out), qPrintable(out));
        QCOMPARE(state(all), withReceipts);
    }
};

QTEST_GUILESS_MAIN(TestDeliverySchema)
#include "tst_delivery_schema.moc"
