#include "CheckedWrite.h"
#include "ServerList.h"
#include "TestDb.h"

#include <QSqlRecord>
#include <QtTest>

// Moving between servers, against the one private server reached under two names (127.0.0.1 and
// localhost) and an address where nothing listens. The cluster itself: tests/cluster.
namespace {

hv::DatabaseNode node(const QString& host) {
    return hv::DatabaseNode(host);
}

QStringList hosts(const QList<hv::DatabaseNode>& nodes) {
    QStringList out;
    for (const hv::DatabaseNode& n : nodes)
        out << n.host;
    return out;
}

qint64 failureOf(const std::function<void()>& fn) {
    try {
        fn();
        return 0;
    } catch (const hv::Failure& f) {
        return f.number();
    }
}

qint64 count(const QString& sql) {
    return testdb::scalar(sql).toLongLong();
}

} // namespace

class TestServerList : public QObject {
    Q_OBJECT

private slots:
    void init() {
        REQUIRE_DB();
        testdb::reset();
    }

    void unreachableNodeGivesWayAndTheNodeThatWorkedComesFirst() {
        const hv::ServerList servers({node(testdb::hostUnreachable()), node(testdb::host())});
        QStringList tried;
        servers.run({}, [&](hv::Connection& c) {
            tried << c.database().hostName();
            c.select("SELECT 1");
        });
        QCOMPARE(tried, QStringList{testdb::host()});
        QCOMPARE(servers.preferred().host, testdb::host());
        // A copy knows it too: the console hands its list to every store.
        const hv::ServerList copy = servers;
        QCOMPARE(hosts(copy.order()), (QStringList{testdb::host(), testdb::hostUnreachable()}));
    }

    void nodeLostUnderAStatementGivesWay() {
        const hv::ServerList servers({node(testdb::host()), node("localhost")});
        int runs = 0;
        servers.run({}, [&](hv::Connection& c) {
            if (++runs == 1) c.execute("KILL CONNECTION_ID()");
            c.select("SELECT 1");
        });
        QCOMPARE(runs, 2);
        QCOMPARE(servers.preferred().host, QString("localhost"));
    }

    void theRequestsOwnFailuresDoNotMoveOn() {
        const hv::ServerList servers({node(testdb::host()), node("localhost")});
        int runs = 0;
        QCOMPARE(failureOf([&] {
                     servers.run({}, [&](hv::Connection& c) {
                         ++runs;
                         c.select("SELECT * FROM no_such_table");
                     });
                 }),
                 qint64(1146));
        QCOMPARE(runs, 1);
        testdb::WrongPassword wrong;
        QCOMPARE(failureOf([&] { servers.run({}, [](hv::Connection&) {}); }), hv::code::LoginRefused);
    }

    void everyNodeLostIsALostServer() {
        const hv::ServerList servers({node(testdb::hostUnreachable()), node("127.0.0.8"), node(QString())});
        QCOMPARE(failureOf([&] { servers.run({}, [](hv::Connection&) {}); }), hv::code::CannotOpen);
    }

    // The node went away after the commit, before the rows were seen: they are looked for on the
    // next node, found there, and not written a second time.
    void commitInDoubtIsLookedForBeforeWritingAgain() {
        const hv::ServerList servers({node(testdb::host()), node("localhost")});
        int looks = 0;
        hv::CheckedWrite w;
        w.write = [](hv::Connection& c) { c.execute("INSERT INTO locations (CodeLocation) VALUES ('Roof')"); };
        w.landed = [&](hv::Connection& c) {
            if (++looks == 1) c.execute("KILL CONNECTION_ID()");
            return c.select("SELECT COUNT(*) FROM locations WHERE CodeLocation = 'Roof'").value(0).value(0).toInt() ==
                   1;
        };
        w.run(servers, {});
        QCOMPARE(w.transactionsBegun(), 1);
        QCOMPARE(looks, 2);
        QCOMPARE(count("SELECT COUNT(*) FROM locations WHERE CodeLocation = 'Roof'"), 1);
    }

    // A commit that answered success although the rows are not there is run again; one that
    // never shows its rows ends as refused, and nothing is left half-written.
    void changeNotSeenAfterCommitRunsAgain() {
        const hv::ServerList servers = hv::ServerList::forHosts(testdb::host());
        hv::CheckedWrite w;
        int writes = 0;
        w.write = [&](hv::Connection& c) {
            ++writes;
            c.execute("INSERT INTO locations (CodeLocation) VALUES ('Roof')");
        };
        w.landed = [&](hv::Connection& c) {
            // As if another node's transaction had won the first time.
            if (writes == 1) c.execute("DELETE FROM locations WHERE CodeLocation = 'Roof'");
            return count("SELECT COUNT(*) FROM locations WHERE CodeLocation = 'Roof'") == 1;
        };
        w.run(servers, {});
        QCOMPARE(w.transactionsBegun(), 2);
        QCOMPARE(count("SELECT COUNT(*) FROM locations WHERE CodeLocation = 'Roof'"), 1);

        w.landed = [](hv::Connection&) { return false; };
        QCOMPARE(failureOf([&] { w.run(servers, {}); }), qint64(hv::CheckedWrite::kConflict));
        QCOMPARE(w.transactionsBegun(), hv::CheckedWrite::kAttempts);

        // A failure inside the transaction takes back what it wrote.
        w.write = [](hv::Connection& c) {
            c.execute("INSERT INTO locations (CodeLocation) VALUES ('Cellar')");
            c.execute("INSERT INTO no_such_table VALUES (1)");
        };
        QCOMPARE(failureOf([&] { w.run(servers, {}); }), qint64(1146));
        QCOMPARE(count("SELECT COUNT(*) FROM locations WHERE CodeLocation = 'Cellar'"), 0);
    }
};

QTEST_GUILESS_MAIN(TestServerList)
#include "tst_server_list.moc"
