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

    // The tray client's own delivery code under its account: the check-in (added, then refreshed by
    // a restarted client), the receipt and its close go through; the outcomes of receipts cannot be
    // read back or changed, nor rows deleted. The console's account reads both tables.
    void trayAccountWritesItsCheckInsAndReceiptsOnly() {
        server.adminExec("DELETE FROM receipts");
        server.adminExec("DELETE FROM workstations");
        server.adminExec("DELETE FROM receiptchannels");
        server.adminExec("DELETE FROM wakeupchannels");
        const hv::ServerList servers = hv::ServerList::forHosts(SecureServer::host());
        const hv::DatabaseAccess tray = server.trayAccess();
        const hv::ShownAlert alert{41, QDate::currentDate(), QTime(10, 5), "Code Red", "Lobby"};
        hv::RingReport played;
        played.result = hv::RingReport::Result::Played;
        QElapsedTimer at;
        at.start();
        const hv::WorkstationIdentity ward{"ward-7", "nurse"};
        for (const char* version : {"1.0.0", "1.0.1"}) {
            hv::Connection c(hv::DatabaseNode(SecureServer::host()), with(tray));
            hv::CheckIn checkIn(ward, version);
            checkIn.setAudioState({true, true, false});
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
            QCOMPARE(hv::DeliveryWrites::writeReceipts(c, ward, {receipt}), hv::WriteOutcome::Written);
            QCOMPARE(hv::DeliveryWrites::writeClose(c, ward, {alert, at}), hv::WriteOutcome::Written);
            QCOMPARE(checkIn.write(c), hv::WriteOutcome::Written);
            QCOMPARE(checkIn.written(), 1);
        }
        QCOMPARE(server
                     .adminScalar("SELECT CONCAT(ProgramVersion, ' ', SoundDevice, MuteReadable) FROM "
                                  "workstations WHERE HostName = 'ward-7' AND DesktopUser = 'nurse'")
                     .toString(),
                 QString("1.0.1 10"));
        QCOMPARE(server.adminScalar("SELECT CONCAT(COUNT(*), ' ', MIN(RingResult), ' ', COUNT(ClosedAt)) FROM receipts")
                     .toString(),
                 QString("1 played 1"));
        // How it came, and the wake-up channel's line, through the same account.
        QCOMPARE(server.adminScalar("SELECT CONCAT(COUNT(*), ' ', MIN(Channel)) FROM receiptchannels").toString(),
                 QString("1 wake"));
        QCOMPARE(
            server.adminScalar("SELECT CONCAT(Connected, ' ', Broker, ' ', Received) FROM wakeupchannels").toString(),
            QString("1 broker:1883 3"));

        auto native = [](const QString& failure) { return failure.section(u' ', 1, 1); };
        QCOMPARE(native(failureOf(SecureServer::host(), tray, "SELECT RingResult FROM receipts")), QString("1143"));
        QCOMPARE(native(failureOf(SecureServer::host(), tray, "UPDATE receipts SET RingResult = 'played'")),
                 QString("1143"));
        QCOMPARE(native(failureOf(SecureServer::host(), tray, "DELETE FROM receipts")), QString("1142"));
        QCOMPARE(native(failureOf(SecureServer::host(), tray, "DELETE FROM workstations")), QString("1142"));

        hv::Connection console(hv::DatabaseNode(SecureServer::host()), with(server.consoleAccess()));
        QCOMPARE(console.select("SELECT RingResult FROM receipts").size(), 1);
        QCOMPARE(console.select("SELECT LastCheckIn FROM workstations").size(), 1);
        QCOMPARE(native(failureOf(SecureServer::host(), server.consoleAccess(), "DELETE FROM receipts")),
                 QString("1142"));
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
