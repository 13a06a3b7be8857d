// The rules of the console's stores against the private server, without any window: the record
// set of a catalogue with its edges, mode and optimistic check, and what the main window reads.
#include "AlertStore.h"
#include "CatalogueStore.h"
#include "Failure.h"
#include "TestDb.h"

#include <QtTest>

using hv::CatalogueDefinition;
using hv::CatalogueStore;
using Edge = CatalogueStore::Edge;
using Outcome = CatalogueStore::Outcome;

namespace {

hv::ServerList servers() {
    return hv::ServerList::forHosts(testdb::host());
}

// The codes as "name/comments" in byte order, NULL shown as <NULL>.
QStringList codes() {
    QStringList out;
    for (const QSqlRecord& r : testdb::rows("SELECT CodeName, Comments FROM codes ORDER BY BINARY CodeName, Comments"))
        out << (r.value(0).isNull() ? "<NULL>" : r.value(0).toString()) + "/" +
                   (r.value(1).isNull() ? "<NULL>" : r.value(1).toString());
    return out;
}

} // namespace

class TestConsoleStores : public QObject {
    Q_OBJECT

private slots:
    void init() {
        REQUIRE_DB();
        testdb::reset();
    }

    void emptyCatalogueStandsAtBothEnds() {
        CatalogueStore store(CatalogueDefinition::codes(), servers());
        store.load();
        QVERIFY(store.bof() && store.eof());
        QCOMPARE(store.settle(), Edge::First);
        QVERIFY(store.current().isEmpty());
        QCOMPARE(store.save({"x", "y"}), Outcome::NoRow);
        QCOMPARE(store.remove(), Outcome::NoRow);
        QCOMPARE(codes(), QStringList());
    }

    void walkingStepsBackAtEitherEnd() {
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('b', NULL), ('a', 'first'), ('c', 'last')");
        CatalogueStore store(CatalogueDefinition::codes(), servers());
        store.load();
        QCOMPARE(store.settle(), Edge::None);
        QCOMPARE(store.current(), QStringList({"a", "first"}));
        store.movePrevious();
        QVERIFY(store.bof());
        QCOMPARE(store.settle(), Edge::First);
        QCOMPARE(store.current(), QStringList({"a", "first"}));
        store.moveNext();
        QCOMPARE(store.current(), QStringList({"b", ""}));
        store.moveNext();
        store.moveNext();
        QVERIFY(store.eof());
        store.moveNext(); // already past the end: stays there
        QCOMPARE(store.settle(), Edge::Last);
        QCOMPARE(store.current(), QStringList({"c", "last"}));
    }

    void addComparesNamesExactlyAndEndsTheAdd() {
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('Drill', 'x')");
        CatalogueStore store(CatalogueDefinition::codes(), servers());
        store.load();
        store.startAdding();
        QCOMPARE(store.add({"Drill", "again"}), Outcome::Duplicate);
        QVERIFY(store.adding());
        // The server's collation would call these equal; the editor does not.
        for (const QString& name : {QString("drill"), QString("Drill "), QString("   ")}) {
            store.startAdding();
            QCOMPARE(store.add({name, "n"}), Outcome::Done);
            QVERIFY(!store.adding());
        }
        QCOMPARE(codes(), QStringList({"   /n", "Drill/x", "Drill /n", "drill/n"}));
    }

    void untouchedValuesAreWrittenBackAsStored() {
        const QString longName = QString("N").repeated(200);
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES (?, NULL)", {longName});
        CatalogueStore store(CatalogueDefinition::codes(), servers());
        store.load();
        // The fields showed the name whole and the NULL as an empty text; only the name changes.
        store.remember(store.current());
        QCOMPARE(store.save({"Short", ""}), Outcome::Done);
        QCOMPARE(codes(), QStringList({"Short/<NULL>"}));
        // Typed over, the empty text is stored as typed.
        store.load();
        store.remember(store.current());
        QCOMPARE(store.save({"Short", "now set"}), Outcome::Done);
        QCOMPARE(codes(), QStringList({"Short/now set"}));
    }

    void rowsChangedElsewhereAreNeitherOverwrittenNorDeleted() {
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('twin', 'a'), ('twin', 'a'), ('solo', 'b')");
        CatalogueStore store(CatalogueDefinition::codes(), servers());
        store.load();
        store.remember(store.current());
        QCOMPARE(store.current(), QStringList({"solo", "b"}));
        testdb::exec("UPDATE codes SET Comments = 'changed' WHERE CodeName = 'solo'");
        QCOMPARE(store.save({"mine", "b"}), Outcome::ChangedElsewhere);
        QCOMPARE(store.remove(), Outcome::ChangedElsewhere);
        // Of two identical rows a delete takes exactly one.
        store.moveNext();
        QCOMPARE(store.current(), QStringList({"twin", "a"}));
        QCOMPARE(store.remove(), Outcome::Done);
        QCOMPARE(codes(), QStringList({"solo/changed", "twin/a"}));
    }

    void refusedWriteLeavesRowsAndMode() {
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('kept', 'k')");
        CatalogueStore store(CatalogueDefinition::codes(), servers());
        store.load();
        store.startAdding();
        {
            testdb::ReadOnlyRights readOnly;
            try {
                store.add({"new", "n"});
                QFAIL("the insert should have been refused");
            } catch (const hv::Failure& f) {
                QCOMPARE(f.number(), hv::code::PermissionDenied);
            }
        }
        QVERIFY(store.adding());
        QCOMPARE(store.size(), 1);
        QCOMPARE(store.current(), QStringList({"kept", "k"}));
        QCOMPARE(codes(), QStringList({"kept/k"}));
    }

    void choicesReadBeforeAFailureStay() {
        testdb::exec("INSERT INTO codes (CodeName) VALUES ('Drill'), ('Code Red')");
        testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('Lobby')");
        hv::AlertStore store(servers());
        hv::AlertStore::Choices choices;
        store.readChoices(choices);
        QCOMPARE(choices.codes, QStringList({"Code Red", "Drill"}));
        QCOMPARE(choices.locations, QStringList({"Lobby"}));

        testdb::exec("RENAME TABLE locations TO locations_away");
        hv::AlertStore::Choices partial;
        try {
            store.readChoices(partial);
            testdb::exec("RENAME TABLE locations_away TO locations");
            QFAIL("the locations should have been missing");
        } catch (const hv::Failure& f) {
            testdb::exec("RENAME TABLE locations_away TO locations");
            QCOMPARE(f.number(), qint64(1146));
        }
        QCOMPARE(partial.codes, QStringList({"Code Red", "Drill"}));
        QVERIFY(partial.locations.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestConsoleStores)
#include "tst_console_stores.moc"
