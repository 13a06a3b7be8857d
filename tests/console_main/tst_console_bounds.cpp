// The console against a table that another session keeps locked, as a backup or a long ALTER
// would: start-up and a submission each end on their own while the lock is still held, with the
// busy pointer during the wait and the message a lost server gives.
#include "Connection.h"
#include "ConsoleKit.h"
#include "shared/ConsoleDatabase.h"

#include <QElapsedTimer>
#include <QPushButton>

namespace {

const QString kFileNotFound =
    box("Database File Not Found", "Database File not found. Contact your computer administrator.", hv::Buttons::Ok,
        hv::Icon::Critical);

int count(const char* table) {
    return testdb::scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table))).toInt();
}

// Another session holding a table locked for writing until it is let go.
struct TableLock {
    explicit TableLock(const char* table) : session(hv::DatabaseNode(testdb::host())) {
        session.execute(QStringLiteral("LOCK TABLES %1 WRITE").arg(QLatin1String(table)));
    }
    ~TableLock() { session.execute(QStringLiteral("UNLOCK TABLES")); }
    hv::Connection session;
};

// Whether the busy pointer is up once the wait has gone on past the moment it is due.
struct BusyWatch {
    QList<bool> seen;
    BusyWatch() {
        QTimer::singleShot(hv::ConsoleDatabase::kBusyPointerAfterMs + 500, [this] {
            seen << (QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor);
        });
    }
};

} // namespace

class TestConsoleBounds : public QObject {
    Q_OBJECT

private slots:
    void init() {
        REQUIRE_DB();
        testdb::reset();
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('Code Red', 'All out')");
        testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('Lobby')");
    }

    void startUpWhileTheCodesAreLocked() {
        ConsoleKit h;
        h.writeIni("MYSQLSERVERNAME=" + testdb::host().toLatin1());
        h.make();
        TableLock lock("codes");
        BusyWatch busy;
        QElapsedTimer t;
        t.start();
        QVERIFY(!h.form1->load());
        qInfo("start-up with the codes locked ended after %lld ms", t.elapsed());
        // The lock is still held: the console gave up on its own.
        QCOMPARE(h.titles(), QStringList({"Database Connection Error", "Database Error"}));
        QCOMPARE(h.exit.ends, 1);
        QCOMPARE(busy.seen, QList<bool>{true});
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(h.list("Combo1")->count(), 0);
    }

    void submissionWhileTheCodesAreLocked() {
        ConsoleKit h;
        h.started();
        h.choose("Code Red", "Lobby");
        std::optional<BusyWatch> busy;
        // The question is answered while the lock is taken, so that the wait is the submission's.
        std::unique_ptr<TableLock> lock;
        h.msg.onShow = [&](const ShownBox& b) {
            if (b.title != "Custom Message") return;
            lock = std::make_unique<TableLock>("codes");
            busy.emplace();
        };
        QElapsedTimer t;
        t.start();
        QTest::mouseClick(h.form1->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        qInfo("submission with the codes locked ended after %lld ms", t.elapsed());
        QVERIFY(lock);
        lock.reset();
        QCOMPARE(h.titles(), QStringList({"Custom Message", "Database File Not Found"}));
        QCOMPARE(shown(h.msg.boxes).last(), kFileNotFound);
        QCOMPARE(h.exit.ends, 1);
        QCOMPARE(busy->seen, QList<bool>{true});
        // Nothing was stored: no alert goes out half-written.
        QCOMPARE(count("alerts"), 0);
        QCOMPARE(count("AlertLog"), 0);
    }
};

QTEST_MAIN(TestConsoleBounds)
#include "tst_console_bounds.moc"
