#include "CatalogueDefinition.h"
#include "CatalogueStore.h"
#include "CheckedWrite.h"
#include "ClusterNodes.h"

#include <QSqlRecord>
#include <QtTest>

using hv::CatalogueDefinition;
using hv::CatalogueStore;
using Outcome = CatalogueStore::Outcome;

// The console's writes and the schema on the three-node Galera cluster.
namespace {

QStringList column(int node, const QString& sql) {
    QStringList out;
    for (const QSqlRecord& r : cluster::rows(node, sql))
        out << (r.value(0).isNull() ? QStringLiteral("<NULL>") : r.value(0).toString());
    return out;
}

// Every node holds the same rows.
QStringList sameOnEveryNode(const QString& sql) {
    QStringList first;
    for (int n = 1; n <= 3; ++n) {
        QStringList values;
        for (const QSqlRecord& r : cluster::rows(n, sql))
            values << r.value(0).toString();
        if (n == 1)
            first = values;
        else if (values != first)
            return {QStringLiteral("node %1 differs: %2 / %3").arg(n).arg(values.join('|'), first.join('|'))};
    }
    return first;
}

// Stands the store on the first row of what it read that holds exactly these values.
bool standOn(CatalogueStore& store, const QStringList& values) {
    while (!store.bof())
        store.movePrevious();
    store.moveNext();
    while (!store.eof() && store.current() != values)
        store.moveNext();
    return !store.eof();
}

bool moveTo(CatalogueStore& store, const QStringList& values) {
    store.load();
    return standOn(store, values);
}

} // namespace

class TestClusterStores : public QObject {
    Q_OBJECT

private slots:
    void init() {
        REQUIRE_CLUSTER();
        cluster::reset();
    }

    void cleanupTestCase() {
        // The catalogues made the way an older site has them go back to the schema of today.
        QVERIFY(cluster::dbserver({"reset"}));
    }

    // Another node's change to the same row wins over a transaction in progress: Galera refuses
    // the loser's commit with 1213, and the change runs again, whole, and lands.
    void transactionRefusedForAnotherNodesChangeRunsAgain() {
        cluster::exec(1, "INSERT INTO locations (CodeLocation) VALUES ('Lobby')");
        hv::CheckedWrite w;
        int writes = 0;
        w.write = [&](hv::Connection& c) {
            c.execute("UPDATE locations SET CodeLocation = 'Main Lobby' WHERE CodeLocation = 'Lobby'");
            if (++writes == 1) {
                // The other console, on another node, meanwhile renames it back and forth.
                cluster::exec(2, "UPDATE locations SET CodeLocation = 'Lobby 2' WHERE CodeLocation = 'Lobby'");
                cluster::exec(2, "UPDATE locations SET CodeLocation = 'Lobby' WHERE CodeLocation = 'Lobby 2'");
                // Once node 1 has applied them, this transaction has lost before its commit.
                hv::Connection other(cluster::node(1));
                other.execute("SET SESSION wsrep_sync_wait = 1");
                other.select("SELECT COUNT(*) FROM locations");
            }
        };
        w.landed = [](hv::Connection& c) {
            return c.select("SELECT COUNT(*) FROM locations WHERE CodeLocation = 'Main Lobby'")
                       .value(0)
                       .value(0)
                       .toInt() == 1;
        };
        w.run(cluster::servers({1, 2, 3}), {});
        QCOMPARE(w.transactionsBegun(), 2);
        QCOMPARE(sameOnEveryNode("SELECT CodeLocation FROM locations ORDER BY CodeLocation"),
                 (QStringList{"East Wing", "Main Lobby"}));
    }

    // A new site's tables all have a primary key; the catalogues' is invisible, so that the
    // statements of the programs and reports see the columns they always saw.
    void newSchemaKeysAreInvisible() {
        QCOMPARE(column(1, "SELECT TABLE_NAME FROM information_schema.TABLES t WHERE TABLE_SCHEMA = 'halvane' AND "
                           "NOT EXISTS (SELECT 1 FROM information_schema.TABLE_CONSTRAINTS c WHERE "
                           "c.TABLE_SCHEMA = t.TABLE_SCHEMA AND c.TABLE_NAME = t.TABLE_NAME AND "
                           "c.CONSTRAINT_TYPE = 'PRIMARY KEY')"),
                 QStringList{});
        const QList<std::pair<QString, QStringList>> tables{
            {"Select * From codes ORDER By CodeName", {"CodeName", "Comments"}},
            {"Select * From locations ORDER By CodeLocation", {"CodeLocation"}},
            {"Select * From users ORDER By UserName", {"UserName", "Password"}},
            {"Select * From properties", {"TraysToolTipText"}},
            {"Select * From AlertLog ORDER By CodeDate DESC, CodeTime DESC",
             {"ID", "CodeName", "CodeMessage", "CodeDate", "CodeTime", "CodeLocation", "Comments"}},
        };
        cluster::exec(1, "INSERT INTO AlertLog (CodeName) VALUES ('x')");
        cluster::exec(1, "INSERT INTO users VALUES ('admin', 'admin')");
        for (const auto& [sql, columns] : tables) {
            const QSqlRecord r = cluster::rows(3, sql).value(0);
            QStringList names;
            for (int i = 0; i < r.count(); ++i)
                names << r.fieldName(i);
            QCOMPARE(names, columns);
        }

        CatalogueStore codes(CatalogueDefinition::codes(), cluster::servers({2, 3, 1}));
        codes.load();
        codes.remember(codes.current());
        QCOMPARE(codes.save({"Code Red", "Leave by the east stairs."}), Outcome::Done);
        QCOMPARE(sameOnEveryNode("SELECT Comments FROM codes"), QStringList{"Leave by the east stairs."});
    }

    // A site that made its database before the catalogues had keys: Galera replicates the rows of
    // tables without a key, and the editors identify rows by their values, duplicates included.
    void catalogueWithoutKeyOnTheCluster() {
        cluster::exec(1, "DROP TABLE locations");
        cluster::exec(1, "CREATE TABLE locations (CodeLocation VARCHAR(255) NULL, KEY locations_name (CodeLocation)) "
                         "ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci");
        cluster::exec(2, "INSERT INTO locations (CodeLocation) VALUES ('Dock'), ('Dock'), ('dock ')");

        CatalogueStore onNode1(CatalogueDefinition::locations(), cluster::servers({1, 2, 3}));
        onNode1.load();
        QCOMPARE(onNode1.size(), 3);
        onNode1.startAdding();
        QCOMPARE(onNode1.add({"Roof"}), Outcome::Done);
        QCOMPARE(onNode1.add({"Dock"}), Outcome::Duplicate);

        CatalogueStore onNode2(CatalogueDefinition::locations(), cluster::servers({2, 3, 1}));
        QVERIFY(moveTo(onNode2, {"Dock"}));
        onNode2.remember({"Dock"});
        QCOMPARE(onNode2.save({"Dock A"}), Outcome::Done);

        CatalogueStore onNode3(CatalogueDefinition::locations(), cluster::servers({3, 1, 2}));
        QVERIFY(moveTo(onNode3, {"Dock"}));
        QCOMPARE(onNode3.remove(), Outcome::Done);
        // Both rows that node 1 still shows as "Dock" were changed on other nodes meanwhile.
        QVERIFY(standOn(onNode1, {"Dock"}));
        QCOMPARE(onNode1.remove(), Outcome::ChangedElsewhere);

        QCOMPARE(sameOnEveryNode("SELECT CodeLocation FROM locations ORDER BY BINARY CodeLocation"),
                 (QStringList{"Dock A", "Roof", "dock "}));
    }
};

QTEST_GUILESS_MAIN(TestClusterStores)
#include "tst_cluster_stores.moc"
