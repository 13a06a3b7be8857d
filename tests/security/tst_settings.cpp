#include "Connection.h"
#include "ConnectionString.h"
#include "DatabaseAccess.h"
#include "Failure.h"
#include "IniFile.h"
#include "Settings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The settings on the lines after the first of halvane.ini, and what they make of a connection
// before anything goes on the wire.
class TestSettings : public QObject {
    Q_OBJECT

    static qint64 failureOf(const std::function<void()>& fn) {
        try {
            fn();
            return 0;
        } catch (const hv::Failure& f) {
            return f.number();
        }
    }

private slots:
    void keysAfterTheFirstLine() {
        const QByteArray ini = "MYSQLSERVERNAME=db1\r\n"
                               "MORVIKUSER=halvane_tray\r\n"
                               "MORVIKPASSWORD= p=w;d \r\n"
                               "morvikuser=lower case is another key\n"
                               " HALVANEUSER=a blank before the key\n"
                               "HALVANEUSER=halvane_console\n"
                               "HALVANEUSER=a second one\n"
                               "HALVANEPASSWORD=\n"
                               "MYSQLSSLCA=/etc/halvane/ca.pem";
        // The first line reads as it always has.
        QCOMPARE(hv::hostFromIniText(ini), QStringLiteral("db1"));
        const hv::Settings s = hv::settingsFromIniText(ini);
        QCOMPARE(s.morvikUser, QStringLiteral("halvane_tray"));
        QCOMPARE(s.morvikPassword, QStringLiteral(" p=w;d "));
        QCOMPARE(s.halvaneUser, QStringLiteral("halvane_console"));
        QCOMPARE(s.halvanePassword, QString());
        QVERIFY(s.tls);
        QCOMPARE(s.sslCa, QStringLiteral("/etc/halvane/ca.pem"));

        const hv::DatabaseAccess tray = s.trayAccess();
        QCOMPARE(tray.user, QStringLiteral("halvane_tray"));
        QCOMPARE(tray.password, QStringLiteral(" p=w;d "));
        QVERIFY(tray.tls);
        const hv::DatabaseAccess console = s.consoleAccess();
        QCOMPARE(console.user, QStringLiteral("halvane_console"));
        QCOMPARE(console.password, QString());

        // The first line is never a setting, and a file without settings keeps root over plain TCP.
        const hv::Settings none = hv::settingsFromIniText("MORVIKUSER=x\r\nMYSQLSERVERNAME=db1\r\n");
        QVERIFY(none.morvikUser.isEmpty());
        QVERIFY(!none.tls);
        QVERIFY(none.trayAccess().user.isEmpty());
        QVERIFY(none.trayAccess().tlsConnectOptions().isEmpty());
        // A client certificate alone still asks for TLS, which then lacks its authority.
        QVERIFY(hv::settingsFromIniText("MYSQLSERVERNAME=db1\nMYSQLSSLCERT=c.pem\n").tls);
    }

    void certificatePathsAndTheirChecks() {
        QTemporaryDir etc;
        QTemporaryDir programs;
        for (const char* name : {"ca.pem", "cert.pem", "key.pem"}) {
            QFile f(etc.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("pem");
        }
        QFile ini(etc.filePath("halvane.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("MYSQLSERVERNAME=db1\r\nMYSQLSSLCA=ca.pem\r\nMYSQLSSLCERT=cert.pem\r\nMYSQLSSLKEY=" +
                  etc.filePath("key.pem").toUtf8() + "\r\n");
        ini.close();
        // As installed: the file beside the program is a link to the administrator's file.
        const QString beside = programs.filePath("halvane.ini");
        QVERIFY(QFile::link(etc.filePath("halvane.ini"), beside));

        hv::DatabaseAccess a = hv::readSettings(beside).trayAccess();
        QCOMPARE(a.sslCa, etc.filePath("ca.pem"));
        QCOMPARE(a.sslCert, etc.filePath("cert.pem"));
        QCOMPARE(a.tlsConnectOptions(),
                 QStringList({"SSL_CA=" + etc.filePath("ca.pem"), "SSL_CERT=" + etc.filePath("cert.pem"),
                              "SSL_KEY=" + etc.filePath("key.pem")}));

        // Each of these is "cannot reach" before a connection is tried: the client library would
        // connect without a file it cannot read, or split a path at ';'.
        const QString cs = hv::fncConnectionString(QStringLiteral("127.0.0.1"));
        auto opening = [&](const hv::DatabaseAccess& access) {
            return failureOf([&] {
                hv::ConnectionOptions o;
                o.access = access;
                hv::Connection c(cs, o);
            });
        };
        hv::DatabaseAccess missing = a;
        missing.sslCa = etc.filePath("gone.pem");
        QCOMPARE(opening(missing), hv::code::CannotOpen);
        hv::DatabaseAccess noKey = a;
        noKey.sslKey.clear();
        QCOMPARE(opening(noKey), hv::code::CannotOpen);
        hv::DatabaseAccess noCa = a;
        noCa.sslCa.clear();
        QCOMPARE(opening(noCa), hv::code::CannotOpen);
        const QString odd = etc.filePath("a;b.pem");
        QVERIFY(QFile::copy(etc.filePath("ca.pem"), odd));
        hv::DatabaseAccess split = a;
        split.sslCa = odd;
        QCOMPARE(opening(split), hv::code::CannotOpen);
        hv::DatabaseAccess blank = a;
        blank.sslCa += u' ';
        QCOMPARE(opening(blank), hv::code::CannotOpen);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
