#include "CatalogueDefinition.h"
#include "CatalogueStore.h"
#include "ConsoleKit.h"
#include "SecureServer.h"

#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

// The console with its own account over TLS, as halvane.ini on the console computer sets it up,
// against a server that requires TLS and takes no root login over the network.
class TestSecureConsole : public QObject {
    Q_OBJECT

    SecureServer server;

    QByteArray ini(const QString& password) const {
        return "MYSQLSERVERNAME=" + SecureServer::host().toUtf8() +
               "\r\nHALVANEUSER=" + SecureServer::consoleUser().toUtf8() + "\r\nHALVANEPASSWORD=" + password.toUtf8() +
               "\r\nMYSQLSSLCA=" + server.caFile().toUtf8() + "\r\n";
    }

    QStringList rows(const QString& sql) const {
        return server.adminScalar("SELECT GROUP_CONCAT(r ORDER BY r SEPARATOR '\\n') FROM (" + sql + ") AS t")
            .toString()
            .split(u'\n', Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase() {
        REQUIRE_DB();
        QString why;
        QVERIFY2(server.start(&why), qPrintable(why));
        server.adminExec("INSERT INTO codes (CodeName, Comments) VALUES ('Code Red', 'All out to the yard')");
        server.adminExec("INSERT INTO locations (CodeLocation) VALUES ('Lobby')");
    }

    void cleanupTestCase() { server.stop(); }

    void submissionAndCatalogueEditWithTheConsoleAccount() {
        ConsoleKit h;
        h.writeIni(ini(SecureServer::consolePassword()));
        h.make();
        h.form1->load();
        h.form1->show();
        QVERIFY(QTest::qWaitForWindowActive(h.form1.get()));
        QCOMPARE(h.list("Combo1")->count(), 2);
        h.choose("Code Red", "Lobby");
        QTest::mouseClick(h.form1->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QCOMPARE(h.titles(), QStringList({"Custom Message", "Halvane Saved"}));
        QCOMPARE(h.exit.ends, 0);
        const QString row = "Code Red|Lobby|All out to the yard";
        const QString sql = "SELECT CONCAT_WS('|', CodeName, CodeLocation, Comments) AS r FROM %1";
        QCOMPARE(rows(sql.arg("alerts")), QStringList({row}));
        QCOMPARE(rows(sql.arg("AlertLog")), QStringList({row}));

        // The editors work through what the main window read from halvane.ini.
        hv::CatalogueStore codes(hv::CatalogueDefinition::codes(), h.ctx.servers(), h.ctx.access);
        codes.load();
        codes.startAdding();
        QCOMPARE(codes.add({"Drill", "Practice only"}), hv::CatalogueStore::Outcome::Done);
        codes.load();
        QCOMPARE(codes.current(), QStringList({"Code Red", "All out to the yard"}));
        QCOMPARE(codes.save({"Code Red", "Everyone to the yard"}), hv::CatalogueStore::Outcome::Done);
        QCOMPARE(rows("SELECT CONCAT_WS('|', CodeName, Comments) AS r FROM codes"),
                 QStringList({"Code Red|Everyone to the yard", "Drill|Practice only"}));
    }

    // On a cluster the account and the authority hold for every node: with the first node out of
    // reach (nothing listens on 127.0.0.8) the console logs in to the next one as itself, over TLS
    // (the server takes no root login over the network).
    void accountAndTlsOnTheNextNode() {
        server.adminExec("DELETE FROM alerts");
        server.adminExec("DELETE FROM AlertLog");
        ConsoleKit h;
        QByteArray text = ini(SecureServer::consolePassword());
        text.replace("MYSQLSERVERNAME=" + SecureServer::host().toUtf8(), "MYSQLSERVERNAME=127.0.0.8");
        h.writeIni(text + "MYSQLSERVERNAME=" + SecureServer::host().toUtf8() + "\r\n");
        h.make();
        h.form1->load();
        h.form1->show();
        QVERIFY(QTest::qWaitForWindowActive(h.form1.get()));
        h.choose("Code Red", "Lobby");
        QTest::mouseClick(h.form1->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QCOMPARE(h.titles(), QStringList({"Custom Message", "Halvane Saved"}));
        QCOMPARE(rows("SELECT CONCAT_WS('|', CodeName, CodeLocation) AS r FROM AlertLog"),
                 QStringList({"Code Red|Lobby"}));
        QCOMPARE(h.ctx.servers().preferred().host, SecureServer::host());
    }

    void halvaneSendStoresWithTheConsoleAccount() {
        QTemporaryDir dir;
        QFile ini(dir.filePath("halvane.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(this->ini(SecureServer::consolePassword()));
        ini.close();
        server.adminExec("DELETE FROM alerts");
        QProcess send;
        send.setProcessChannelMode(QProcess::MergedChannels);
        send.start(
            qEnvironmentVariable("HALVANE_BINARY_DIR") + "/send/halvane-send",
            {"--ini", ini.fileName(), "--code", "Code Red", "--location", "Lobby", "--message", "From a script"});
        QVERIFY(send.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(send.readAll()), QString());
        QCOMPARE(send.exitCode(), 0);
        QCOMPARE(rows("SELECT CONCAT_WS('|', CodeName, CodeMessage) AS r FROM alerts"),
                 QStringList({"Code Red|From a script"}));
    }

    void wrongConsolePasswordIsTheWrongPasswordBox() {
        ConsoleKit h;
        h.writeIni(ini("not the password"));
        h.make();
        h.form1->load();
        QCOMPARE(
            shown(h.msg.boxes),
            QStringList({box("Wrong Password", "You entered an incorrect password. This application will now close.",
                             hv::Buttons::Ok, hv::Icon::Critical)}));
        QCOMPARE(h.exit.ends, 1);
    }
};

QTEST_MAIN(TestSecureConsole)
#include "tst_secure_console.moc"
