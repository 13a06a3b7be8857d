#include "Connection.h"
#include "DatabaseAccess.h"
#include "Failure.h"
#include "IniFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The certificate settings of halvane.ini as installed (through the package's link), and what
// they make of a connection before anything goes on the wire. The reading itself: tst_inifile.
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

        hv::DatabaseAccess a = hv::fncReadINI(beside).trayAccess();
        // The folder of the real file, not the one of the link.
        QCOMPARE(a.sslCa, etc.filePath("ca.pem"));
        QCOMPARE(a.sslCert, etc.filePath("cert.pem"));
        QCOMPARE(a.tlsConnectOptions(),
                 QStringList({"SSL_CA=" + etc.filePath("ca.pem"), "SSL_CERT=" + etc.filePath("cert.pem"),
                              "SSL_KEY=" + etc.filePath("key.pem")}));

        // Each of these is "cannot reach" before a connection is tried: the client library would
        // connect without a file it cannot read, or split a path at ';'.
        auto opening = [&](const hv::DatabaseAccess& access) {
            return failureOf([&] {
                hv::ConnectionOptions o;
                o.access = access;
                hv::Connection c(hv::DatabaseNode(QStringLiteral("127.0.0.1")), o);
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
