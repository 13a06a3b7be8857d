#include "Connection.h"
#include "ConnectionString.h"
#include "DeliveryTerms.h"
#include "DeliveryWrites.h"
#include "IniFile.h"
#include "SecureServer.h"
#include "ServerList.h"
#include "TestDb.h"
#include "TlsCipher.h"
#include "TrayStore.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

// The programs' own accounts and TLS against real servers: the run's plain server on 127.0.0.1
// and a second one on 127.0.0.9 that requires TLS and has no root login over the network.
namespace {

const QString kPoll = QStringLiteral(
    "SELECT ID, CodeDate, CodeTime, CodeName, CodeLocation, CodeMessage, Comments From alerts Where Date(CodeDate) = "
    "CURRENT_DATE AND (TIME_TO_SEC(TIME(NOW())) - TIME_TO_SEC(CodeTime)) < 180 AND (TIME_TO_SEC(TIME(NOW())) - "
    "TIME_TO_SEC(CodeTime)) > 0");

hv::ConnectionOptions with(const hv::DatabaseAccess& access) {
    hv::ConnectionOptions o;
    o.access = access;
    return o;
}

// The failure a statement (or the opening, when sql is empty) ends with: "number native".
QString failureOf(const QString& host, const hv::DatabaseAccess& access, const QString& sql = {},
                  const QVariantList& binds = {}) {
    try {
        hv::Connection c(hv::DatabaseNode(host), with(access));
        if (!sql.isEmpty()) c.execute(sql, binds);
        return QStringLiteral("none");
    } catch (const hv::Failure& f) {
        return QStringLiteral("%1 %2").arg(f.number()).arg(f.nativeCode());
    }
}

QString expected(qint64 number, int native) {
    return QStringLiteral("%1 %2").arg(number).arg(native);
}

} // namespace

class TestSecureDb : public QObject {
    Q_OBJECT

    SecureServer server;

    // Everything that crossed the loopback interface to or from `host` while fn ran.
    QByteArray captured(const QString& host, const std::function<void()>& fn) {
        QTemporaryDir dir;
        const QString file = dir.filePath("wire.pcap");
        QProcess dump;
        dump.setProcessChannelMode(QProcess::MergedChannels);
        dump.start("tcpdump", {"-i", "lo", "-n", "--immediate-mode", "-U", "-s", "0", "-w", file,
                               "tcp port 3306 and host " + host});
        if (!dump.waitForStarted(5000)) {
            QTest::qFail("tcpdump cannot be started: install it with scripts/setup", __FILE__, __LINE__);
            return {};
        }
        QByteArray said;
        while (!said.contains("listening on") && dump.waitForReadyRead(10000))
            said += dump.readAll();
        if (!said.contains("listening on")) {
            dump.kill();
            dump.waitForFinished();
            QTest::qFail(qPrintable("tcpdump did not start listening: " + QString::fromLocal8Bit(said)), __FILE__,
                         __LINE__);
            return {};
        }
        fn();
        QTest::qWait(300);
        dump.terminate();
        dump.waitForFinished(10000);
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase() {
        REQUIRE_DB();
        QString why;
        QVERIFY2(server.start(&why), qPrintable(why));
    }

    void cleanupTestCase() { server.stop(); }

    void init() {
        server.adminExec("DELETE FROM alerts");
        server.adminExec("DELETE FROM users");
        server.adminExec("DELETE FROM traysettings");
        server.adminExec("INSERT INTO users (UserName, Password) VALUES ('boss', 'secret1')");
        server.adminExec("INSERT INTO alerts (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation) "
                         "VALUES ('Code Red', 'Real fire', CURRENT_DATE, TIME(NOW()), 'Lobby')");
    }

    void trayAccountOnlyReadsTheAlertsAndTheTooltip() {
        const QString h = SecureServer::host();
        const hv::DatabaseAccess tray = server.trayAccess();
        {
            hv::Connection c(hv::DatabaseNode(h), with(tray));
            QCOMPARE(c.select("SELECT CodeMessage FROM alerts").size(), 1);
            QCOMPARE(c.select("Select TraysToolTipText From properties").size(), 1);
            QCOMPARE(c.select("SELECT ReadAloud FROM traysettings WHERE ID = 1").size(), 0);
            QVERIFY(!hv::tlsCipher(c.database()).isEmpty());
        }
        const QString denied = expected(hv::code::PermissionDenied, 1142);
        QCOMPARE(failureOf(h, tray,
                           "INSERT INTO alerts (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation) "
                           "VALUES ('Evacuate', 'Forged', CURRENT_DATE, TIME(NOW()), 'Everywhere')"),
                 denied);
        QCOMPARE(failureOf(h, tray, "UPDATE alerts SET CodeMessage = ? WHERE CodeName = ?", {"Forged", "Code Red"}),
                 denied);
        QCOMPARE(failureOf(h, tray, "DELETE FROM alerts WHERE CodeName = ?", {"Code Red"}), denied);
        QCOMPARE(failureOf(h, tray, "UPDATE properties SET TraysToolTipText = 'Forged'"), denied);
        QCOMPARE(failureOf(h, tray, "SELECT Password FROM users"), denied);
        QCOMPARE(failureOf(h, tray, "INSERT INTO traysettings (ID, ReadAloud) VALUES (1, 1)"), denied);
        // It reads whom each alert is for, and cannot narrow a fire alarm to nobody.
        {
            hv::Connection c(hv::DatabaseNode(h), with(tray));
            QCOMPARE(c.select("SELECT LikePattern FROM alertpatterns").size(), 0);
        }
        QCOMPARE(failureOf(h, tray,
                           "INSERT INTO alertpatterns (CodeDate, CodeTime, AlertID, Pattern, LikePattern) SELECT "
                           "CodeDate, CodeTime, ID, 'NOBODY', 'nobody' FROM alerts"),
                 denied);
        QCOMPARE(failureOf(h, tray, "INSERT INTO codereach (CodeName, LocationOnly) VALUES ('Code Red', 1)"), denied);
        QCOMPARE(failureOf(h, tray, "SELECT AudienceName FROM audiences"), denied);
        QCOMPARE(server.adminScalar("SELECT GROUP_CONCAT(CodeMessage) FROM alerts").toString(), "Real fire");

        // The console's account changes rows, never tables, the alert log only grows, and no
        // other database is within reach.
        const hv::DatabaseAccess console = server.consoleAccess();
        {
            // Reading alerts aloud is turned on and off with an upsert.
            hv::Connection c(hv::DatabaseNode(h), with(console));
            const QString upsert = "INSERT INTO traysettings (ID, ReadAloud) VALUES (1, ?) "
                                   "ON DUPLICATE KEY UPDATE ReadAloud = VALUES(ReadAloud)";
            c.execute(upsert, {1});
            c.execute(upsert, {0});
            QCOMPARE(c.select("SELECT ReadAloud FROM traysettings").size(), 1);
        }
        // halvane-send keeps the CAP messages it took with the console's account: added and read,
        // never changed or removed; the tray client cannot see them.
        QCOMPARE(failureOf(h, console,
                           "INSERT INTO capmessages (Sender, Identifier, Sent, AlertNo, MsgType, Outcome, TakenAt) "
                           "VALUES ('s', 'i', '2026-12-07T14:03:00-05:00', 0, 'Alert', 'sent', NOW())"),
                 QString("none"));
        QCOMPARE(failureOf(h, console, "SELECT Outcome FROM capmessages"), QString("none"));
        QCOMPARE(failureOf(h, console, "UPDATE capmessages SET Outcome = 'cancelled'"), denied);
        QCOMPARE(failureOf(h, console, "DELETE FROM capmessages"), denied);
        QCOMPARE(failureOf(h, tray, "SELECT Outcome FROM capmessages"), denied);
        server.adminExec("DELETE FROM capmessages");
        QCOMPARE(failureOf(h, console, "ALTER TABLE codes ADD COLUMN Extra INT"), denied);
        QCOMPARE(failureOf(h, console, "DROP TABLE alerts"), expected(hv::code::PermissionDenied, 1142));
        QCOMPARE(failureOf(h, console, "CREATE TABLE halvane.extra (x INT)"), denied);
        QCOMPARE(failureOf(h, console, "DELETE FROM AlertLog"), denied);
        QCOMPARE(failureOf(h, console, "SELECT User FROM mysql.user"), denied);
        QCOMPARE(failureOf(h, console, "CREATE DATABASE elsewhere"), expected(hv::code::PermissionDenied, 1044));

        // A wrong password is the login refused, as for root.
        hv::DatabaseAccess wrong = tray;
        wrong.password = "not it";
        QCOMPARE(failureOf(h, wrong), expected(hv::code::LoginRefused, 1045));
    }

    // The tray client's own delivery code under its account goes in through the procedures: the
    // check-in, the receipt (with how it came) and its close, each stamped with the address the
    // server saw. What a desktop user who reads the tray client's password could try fails: no
    // delivery table can be read, changed or filled directly, the procedures refuse a receipt for an
    // alert the site never sent, a time in the future or out of range, and a flood of check-ins;
    // the account cannot hold more connections than its limit, and the console still logs in.
    void trayAccountWritesThroughTheProceduresOnly() {
        for (const char* table : {"receipts", "workstations", "receiptorigins", "workstationreports"})
            server.adminExec(QStringLiteral("DELETE FROM %1").arg(QLatin1String(table)));
        server.adminExec("DELETE FROM alerts WHERE CodeName = 'Shown'");
        server.adminExec("INSERT INTO alerts (CodeName, CodeDate, CodeTime, CodeLocation) VALUES ('Shown', "
                         "CURRENT_DATE, '10:05:00', 'Lobby')");
        const qint64 id = server.adminScalar("SELECT MAX(ID) FROM alerts").toLongLong();
        const hv::DatabaseAccess tray = server.trayAccess();
        const hv::ShownAlert alert{id, QDate::currentDate(), QTime(10, 5), "Shown", "Lobby"};
        hv::RingReport played;
        played.result = hv::RingReport::Result::Played;
        QElapsedTimer at;
        at.start();
        const hv::WorkstationIdentity ward{"ward-7", "nurse"};
        for (const char* version : {"1.0.0", "1.0.1"}) {
            hv::Connection c(hv::DatabaseNode(SecureServer::host()), with(tray));
            hv::CheckIn checkIn(ward, version);
            checkIn.setAudioState({true, true, false});
            checkIn.setUnreadable({"cancellations"});
            hv::WakeState wake;
            wake.configured = wake.connected = true;
            wake.broker = "broker:1883";
            wake.connectedForMs = 1000;
            wake.received = 3;
            checkIn.setWakeState(wake);
            hv::ReceiptWrite receipt;
            receipt.alert = alert;
            receipt.shownAt = receipt.rangAt = at;
            receipt.ring = played;
            receipt.channel = hv::delivery::kByWakeUp;
            QCOMPARE(hv::DeliveryWrites::writeReceipts(c, ward, {receipt}, &checkIn.doors()),
                     hv::WriteOutcome::Written);
            QCOMPARE(hv::DeliveryWrites::writeClose(c, ward, {alert, at}, &checkIn.doors()), hv::WriteOutcome::Written);
            QCOMPARE(checkIn.write(c), hv::WriteOutcome::Written);
            QVERIFY(checkIn.doors().procedures());
        }
        // The second check-in within ten seconds was a flood: left out.
        QCOMPARE(server
                     .adminScalar("SELECT CONCAT(ProgramVersion, ' ', SoundDevice, MuteReadable) FROM "
                                  "workstations WHERE HostName = 'ward-7' AND DesktopUser = 'nurse'")
                     .toString(),
                 QString("1.0.0 10"));
        QCOMPARE(server
                     .adminScalar("SELECT CONCAT(COUNT(*), ' ', MIN(RingResult), ' ', COUNT(ClosedAt), ' ', "
                                  "MIN(ShownAt) <= NOW(3)) FROM receipts")
                     .toString(),
                 QString("1 played 1 1"));
        QCOMPARE(server.adminScalar("SELECT CONCAT(COUNT(*), ' ', MIN(Channel), ' ', MIN(Address)) FROM receiptorigins")
                     .toString(),
                 QString("1 wake 127.0.0.1"));
        QCOMPARE(server
                     .adminScalar("SELECT CONCAT(Address, ' ', Unreadable, ' ', WakeConnected, ' ', WakeBroker, ' ', "
                                  "WakeReceived) FROM workstationreports")
                     .toString(),
                 QString("127.0.0.1 cancellations 1 broker:1883 3"));

        // Directly, nothing: no delivery table can be read, changed, filled or emptied.
        auto native = [](const QString& failure) { return failure.section(u' ', 1, 1); };
        const QString h = SecureServer::host();
        QCOMPARE(native(failureOf(h, tray, "UPDATE workstations SET LastCheckIn = NOW() + INTERVAL 1 YEAR")),
                 QString("1142"));
        QCOMPARE(native(failureOf(h, tray,
                                  "INSERT INTO receipts (CodeDate, CodeTime, AlertID, HostName, DesktopUser, ShownAt, "
                                  "RingResult) VALUES (CURRENT_DATE, '10:05:00', ?, 'ward-8', 'x', NOW(), 'played')",
                                  {id})),
                 QString("1142"));
        QCOMPARE(native(failureOf(h, tray, "SELECT RingResult FROM receipts")), QString("1142"));
        QCOMPARE(native(failureOf(h, tray, "DELETE FROM receipts")), QString("1142"));
        QCOMPARE(native(failureOf(h, tray, "DELETE FROM workstationreports")), QString("1142"));
        // Through the procedures, only what they check: no receipt for an alert the site never sent,
        // no moment in the future, no value off its scale.
        const QString receipt = "CALL tray_receipt(CURRENT_DATE, '10:05:00', ?, 'ward-8', 'x', 'Shown', 'Lobby', ?, "
                                "'played', NULL, ?, NULL, NULL, NULL, NULL, NULL, NULL, 'poll')";
        QCOMPARE(native(failureOf(h, tray, receipt, {id + 1000, 0, 5000})), QString("1644"));
        QCOMPARE(native(failureOf(h, tray, receipt, {id, -60000000, 5000})), QString("1644"));
        QCOMPARE(native(failureOf(h, tray, receipt, {id, 0, 70000})), QString("1644"));
        QCOMPARE(native(failureOf(h, tray,
                                  "CALL tray_check_in('ward-9', 'x', '1', 0, 15, NULL, NULL, 1, 1, 1, NULL, 0, "
                                  "NULL, NULL, NULL, NULL, NULL, NULL)")),
                 QString("1644"));
        QCOMPARE(server.adminScalar("SELECT COUNT(*) FROM receipts").toInt(), 1);
        QCOMPARE(server.adminScalar("SELECT COUNT(*) FROM workstations").toInt(), 1);

        // No more connections than its limit; the console's account still gets in.
        std::vector<std::unique_ptr<hv::Connection>> held;
        QString refused;
        for (int i = 0; i < 101 && refused.isEmpty(); ++i) {
            try {
                held.push_back(std::make_unique<hv::Connection>(hv::DatabaseNode(h), with(tray)));
            } catch (const hv::Failure& f) {
                refused = QStringLiteral("%1 %2").arg(f.number()).arg(f.nativeCode());
            }
        }
        QCOMPARE(int(held.size()), 100);
        QCOMPARE(refused, expected(hv::code::CannotOpen, 1226));
        // Each of its statements ends after ten seconds, whatever it asks.
        QCOMPARE(held.front()->select("SELECT @@max_statement_time").value(0).value(0).toDouble(), 10.0);
        QCOMPARE(failureOf(h, server.consoleAccess()), QString("none"));
        held.clear();

        hv::Connection console(hv::DatabaseNode(h), with(server.consoleAccess()));
        QCOMPARE(console.select("SELECT RingResult FROM receipts").size(), 1);
        QCOMPARE(console.select("SELECT LastCheckIn FROM workstations").size(), 1);
        QCOMPARE(console.select("SELECT Address FROM workstationreports").size(), 1);
        QCOMPARE(native(failureOf(h, server.consoleAccess(), "DELETE FROM receipts")), QString("1142"));
    }

    // An account set up before the cancellations could be read (the accounts script not run again
    // after an upgrade): the poll still shows the alerts, and says which table it cannot read, so
    // that its check-in can tell the console.
    // An account made before an upgrade: the alerts still show (all of them, where the audiences'
    // patterns are forbidden), and the check-in says what the poll cannot read.
    void trayPollSaysWhatItCannotRead() {
        server.adminExec("REVOKE SELECT ON halvane.cancellations FROM 'halvane_tray'@'%'");
        server.adminExec("REVOKE SELECT ON halvane.alertpatterns FROM 'halvane_tray'@'%'");
        const struct Restore {
            const SecureServer& server;
            ~Restore() {
                server.adminExec("GRANT SELECT ON halvane.cancellations TO 'halvane_tray'@'%'");
                server.adminExec("GRANT SELECT ON halvane.alertpatterns TO 'halvane_tray'@'%'");
                server.adminExec("DELETE FROM alertpatterns");
            }
        } restore{server};
        server.adminExec("UPDATE alerts SET CodeTime = TIME(NOW() - INTERVAL 60 SECOND)");
        server.adminExec("INSERT INTO alertpatterns (CodeDate, CodeTime, AlertID, Pattern, LikePattern) SELECT "
                         "CodeDate, CodeTime, ID, 'ELSEWHERE', 'elsewhere' FROM alerts");
        hv::TrayStore store(hv::ServerList::forHosts(SecureServer::host()), server.trayAccess());
        store.setHostName("ward-2");
        const hv::PollSnapshot r = store.fetchAlerts();
        QVERIFY(r.statementRan);
        QVERIFY(!r.alerts.isEmpty());
        QVERIFY(!r.cancellationsRead);
        QCOMPARE(store.unreadable(), QStringList({"cancellations", "alertpatterns"}));
    }

    // On a cluster the tray client's account and authority hold for every node: its poll passes a
    // node out of reach (nothing listens on 127.0.0.8) and reads from the next as itself, over TLS.
    void trayAccountOnTheNextNode() {
        server.adminExec("UPDATE alerts SET CodeTime = TIME(NOW() - INTERVAL 60 SECOND)");
        const hv::ServerList nodes = hv::ServerList::forHosts("127.0.0.8", {SecureServer::host()});
        hv::TrayStore store(nodes, server.trayAccess());
        const hv::PollSnapshot r = store.fetchAlerts();
        QVERIFY2(!r.failure, qPrintable(r.failure ? QString(r.failure->what()) : QString()));
        QVERIFY(r.statementRan);
        QVERIFY(std::any_of(r.alerts.begin(), r.alerts.end(),
                            [](const hv::PolledAlert& a) { return a.codeMessage == "Real fire"; }));
        QCOMPARE(nodes.preferred().host, SecureServer::host());
    }

    // What the accounts script prints goes into halvane.ini as it stands and logs in: passwords
    // with blanks at their ends or a leading quote come out quoted, and read back exactly.
    void accountsScriptLinesLogInAsPrinted() {
        const QString tray = QStringLiteral(" Tray pass \"7 ");
        const QString console = QStringLiteral("\"quoted;=");
        const QStringList root{"--no-defaults", "--protocol=socket",
                               "--socket=" + server.stateDir() + "/db/mariadb.sock", "-uroot",
                               "-p" + QLatin1String(hv::kDatabasePassword)};
        // The other tests' passwords back, however this one ends.
        const struct Restore {
            QStringList options;
            ~Restore() {
                QString why;
                if (!SecureServer::makeAccounts(options, &why)) qWarning("%s", qPrintable(why));
            }
        } restore{root.mid(1)};
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("MORVIKPASSWORD", tray);
        env.insert("HALVANEPASSWORD", console);
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable("HALVANE_SOURCE_DIR") + "/db/accounts", root);
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QByteArray lines;
        for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
            if (line.startsWith("MORVIK") || line.startsWith("HALVANE")) lines += line + "\r\n";

        QTemporaryDir dir;
        QFile ini(dir.filePath("halvane.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("MYSQLSERVERNAME=" + SecureServer::host().toUtf8() + "\r\n" + lines +
                  "MYSQLSSLCA=" + server.caFile().toUtf8() + "\r\n");
        ini.close();
        const hv::IniSettings s = hv::fncReadINI(ini.fileName());
        QVERIFY(s.problems.isEmpty());
        QCOMPARE(s.morvikPassword, tray);
        QCOMPARE(s.halvanePassword, console);
        QCOMPARE(failureOf(SecureServer::host(), s.trayAccess()), QString("none"));
        QCOMPARE(failureOf(SecureServer::host(), s.consoleAccess()), QString("none"));
    }

    // On a database from before this version's tables and procedures the accounts script grants
    // nothing and says what to run first; after upgrade.sql it runs.
    void accountsScriptWantsTheUpgradeFirst() {
        const QString source = qEnvironmentVariable("HALVANE_SOURCE_DIR");
        const QStringList root{"--no-defaults", "--protocol=socket",
                               "--socket=" + server.stateDir() + "/db/mariadb.sock", "-uroot",
                               "-p" + QLatin1String(hv::kDatabasePassword)};
        const auto accounts = [&](QString* said) {
            QProcess p;
            p.setProcessChannelMode(QProcess::MergedChannels);
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("MORVIKPASSWORD", SecureServer::trayPassword());
            env.insert("HALVANEPASSWORD", SecureServer::consolePassword());
            p.setProcessEnvironment(env);
            p.start(source + "/db/accounts", root);
            p.waitForFinished(60000);
            *said = QString::fromUtf8(p.readAll());
            return p.exitCode();
        };
        server.adminExec("DROP PROCEDURE halvane.tray_close");
        server.adminExec("DROP TABLE halvane.submissions");
        QString said;
        QVERIFY(accounts(&said) != 0);
        QVERIFY2(said.contains("run upgrade.sql first: the database lacks submissions and tray_close"),
                 qPrintable(said));

        QProcess upgrade;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HALVANE_STATE", server.stateDir());
        upgrade.setProcessEnvironment(env);
        upgrade.setStandardInputFile(source + "/db/upgrade.sql");
        upgrade.start("bash", {source + "/scripts/dbserver", "sql"});
        QVERIFY(upgrade.waitForFinished(60000));
        QCOMPARE(upgrade.exitCode(), 0);
        QCOMPARE(accounts(&said), 0);
        QCOMPARE(failureOf(SecureServer::host(), server.trayAccess()), QString("none"));
    }

    void withAnAuthorityEveryConnectionIsVerifiedTlsOrNone() {
        const QString h = SecureServer::host();
        hv::DatabaseAccess a = server.trayAccess();
        const QString cannotReach = QString::number(hv::code::CannotOpen);
        auto number = [](const QString& failure) { return failure.section(u' ', 0, 0); };

        hv::DatabaseAccess other = a;
        other.sslCa = server.tlsFile("other-ca.pem");
        QCOMPARE(failureOf(h, other), expected(hv::code::CannotOpen, 2026));

        hv::DatabaseAccess missing = a;
        missing.sslCa = server.tlsFile("no-such-ca.pem");
        QCOMPARE(number(failureOf(h, missing)), cannotReach);
        // Against a server without TLS the client library never looks for the file and talks
        // plain text: the file is checked before it is asked.
        QCOMPARE(number(failureOf(testdb::host(), missing)), cannotReach);

        // The run's own server offers no TLS; with an authority set that is "cannot reach".
        hv::DatabaseAccess root;
        root.tls = true;
        root.sslCa = server.caFile();
        QCOMPARE(number(failureOf(testdb::host(), root)), cannotReach);
        QCOMPARE(failureOf(testdb::host(), {}), QStringLiteral("none"));

        // A client certificate of the same authority, for servers that ask for one.
        hv::DatabaseAccess withCert = a;
        withCert.sslCert = server.tlsFile("client-cert.pem");
        withCert.sslKey = server.tlsFile("client-key.pem");
        QCOMPARE(failureOf(h, withCert), QStringLiteral("none"));

        // A site that turned TLS on at the server but not in halvane.ini sees "Wrong Password".
        hv::DatabaseAccess plain = a;
        plain.tls = false;
        QCOMPARE(failureOf(h, plain), expected(hv::code::LoginRefused, 1045));
    }

    // The server is authenticated before anything of the login goes out: a server without TLS, one
    // whose certificate another authority signed, one whose certificate is made out to another
    // host, and one presenting a workstation's client certificate are each "cannot reach", and the
    // wire never carries the account's name (the login packet's first field) in the clear.
    void serverAuthenticatedBeforeTheLogin_data() {
        QTest::addColumn<QString>("presented");
        QTest::newRow("no TLS at all (the run's own server)") << QString();
        QTest::newRow("another authority") << QString("other-ca-server");
        QTest::newRow("a certificate for another host") << QString("elsewhere");
        QTest::newRow("a workstation's client certificate") << QString("client");
    }
    void serverAuthenticatedBeforeTheLogin() {
        QFETCH(QString, presented);
        QString why;
        const struct Back {
            SecureServer& server;
            bool changed;
            ~Back() {
                QString why;
                if (changed && !server.present("server", &why)) qWarning("%s", qPrintable(why));
            }
        } back{server, !presented.isEmpty()};
        if (!presented.isEmpty()) QVERIFY2(server.present(presented, &why), qPrintable(why));
        const QString h = presented.isEmpty() ? testdb::host() : SecureServer::host();
        QString failure;
        const QByteArray wire = captured(h, [&] { failure = failureOf(h, server.trayAccess()); });
        QCOMPARE(failure.section(u' ', 0, 0), QString::number(hv::code::CannotOpen));
        QVERIFY2(!wire.isEmpty(), "nothing was captured: the capture itself failed");
        QVERIFY2(!wire.contains(SecureServer::trayUser().toLatin1()), "the login went out in the clear");
    }

    void alertTextNeverCrossesTheWireInTheClear() {
        const QString text = QStringLiteral("Chlorine leak in lab 7 zebra-quartz");
        const auto readAlert = [&](const QString& host, const hv::DatabaseAccess& access) {
            hv::Connection c(hv::DatabaseNode(host), with(access));
            const auto rows = c.select(kPoll);
            QCOMPARE(rows.size(), 1);
            QCOMPARE(rows.front().value("CodeMessage").toString(), text);
        };

        server.adminExec("DELETE FROM alerts");
        server.adminExec("INSERT INTO alerts (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation) VALUES "
                         "('Code Orange', '" +
                         text + "', CURRENT_DATE, TIME(NOW()) - INTERVAL 5 SECOND, 'Lab 7')");
        const QByteArray overTls =
            captured(SecureServer::host(), [&] { readAlert(SecureServer::host(), server.trayAccess()); });
        // The capture saw the conversation: the server's greeting goes out before TLS begins.
        QVERIFY2(overTls.contains("mysql_native_password"), "the capture holds no database traffic");
        QVERIFY(!overTls.contains(text.toUtf8()));
        QVERIFY(!overTls.contains("Code Orange"));

        // The same read from a server without TLS carries it in the clear.
        testdb::reset();
        testdb::exec("INSERT INTO alerts (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation) VALUES "
                     "('Code Orange', ?, CURRENT_DATE, TIME(NOW()) - INTERVAL 5 SECOND, 'Lab 7')",
                     {text});
        const QByteArray plain = captured(testdb::host(), [&] { readAlert(testdb::host(), {}); });
        QVERIFY(plain.contains(text.toUtf8()));
    }
};

QTEST_GUILESS_MAIN(TestSecureDb)
#include "tst_secure_db.moc"
