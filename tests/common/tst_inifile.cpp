#include "Failure.h"
#include "FurtherServers.h"
#include "IniFile.h"

#include <QTemporaryDir>
#include <QtTest>

class TestIniFile : public QObject {
    Q_OBJECT

private slots:
    void hostFromLine_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("host");
        QTest::newRow("key then host") << QByteArray("MYSQLSERVERNAME=alerts-db") << "alerts-db";
        QTest::newRow("blanks around dropped") << QByteArray("   MYSQLSERVERNAME=alerts-db   ") << "alerts-db";
        QTest::newRow("key not compared") << QByteArray("XXXXXXXXXXXXXXXXserver7") << "server7";
        QTest::newRow("misspelt key") << QByteArray("MYSQLSERVERNAMX=server7") << "server7";
        QTest::newRow("key only") << QByteArray("MYSQLSERVERNAME=") << "";
        QTest::newRow("shorter than key") << QByteArray("MYSQL") << "";
        QTest::newRow("comma ends value") << QByteArray("MYSQLSERVERNAME=db1,db2") << "db1";
        QTest::newRow("blank after = kept") << QByteArray("MYSQLSERVERNAME= db1") << " db1";
        QTest::newRow("second line ignored") << QByteArray("MYSQLSERVERNAME=db1\nMYSQLSERVERNAME=db2\n") << "db1";
        QTest::newRow("CR LF not in host") << QByteArray("MYSQLSERVERNAME=db1\r\nother\r\n") << "db1";
        QTest::newRow("byte-order mark dropped") << QByteArray("\xEF\xBB\xBFMYSQLSERVERNAME=db1\r\n") << "db1";
        QTest::newRow("quoted field") << QByteArray("\"MYSQLSERVERNAME=db,1\" tail") << "db,1";
        QTest::newRow("quoted without close") << QByteArray("\"MYSQLSERVERNAME=db1") << "db1";
        QTest::newRow("tab blanks") << QByteArray("\tMYSQLSERVERNAME=db1\t") << "db1";
    }
    void hostFromLine() {
        QFETCH(QByteArray, content);
        QFETCH(QString, host);
        QCOMPARE(hv::hostFromIniText(content), host);
    }

    // The lines after the first name further nodes of a cluster; the first line reads as always.
    void furtherServers_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("further");
        QTest::newRow("one line") << QByteArray("MYSQLSERVERNAME=db1\r\n") << QStringList{};
        QTest::newRow("three nodes, CR LF")
            << QByteArray("MYSQLSERVERNAME=db1\r\nMYSQLSERVERNAME=db2\r\nMYSQLSERVERNAME=db3\r\n")
            << QStringList{"db2", "db3"};
        QTest::newRow("LF, no final newline")
            << QByteArray("MYSQLSERVERNAME=db1\nMYSQLSERVERNAME=db2") << QStringList{"db2"};
        QTest::newRow("blanks, comma and quotes as on the first line")
            << QByteArray("MYSQLSERVERNAME=db1\n \tMYSQLSERVERNAME=db2\t \n\"MYSQLSERVERNAME=db,3\"\n"
                          "MYSQLSERVERNAME=db4,x\n")
            << QStringList{"db2", "db,3", "db4"};
        // Unlike the first line's, the key of a further line is compared, exactly.
        QTest::newRow("other lines ignored")
            << QByteArray("MYSQLSERVERNAME=db1\n; a comment\nmysqlservername=db2\nMYSQLSERVERNAMX=db3\n"
                          "MYSQLUSER=x\n\nMYSQLSERVERNAME=db4\n")
            << QStringList{"db4"};
        QTest::newRow("empty and repeated hosts left out")
            << QByteArray("MYSQLSERVERNAME=db1\nMYSQLSERVERNAME=\nMYSQLSERVERNAME=DB1\nMYSQLSERVERNAME=db2\n"
                          "MYSQLSERVERNAME=db2\n")
            << QStringList{"db2"};
        QTest::newRow("misspelt first line still first")
            << QByteArray("XXXXXXXXXXXXXXXXdb1\nMYSQLSERVERNAME=db2\n") << QStringList{"db2"};
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBFMYSQLSERVERNAME=db1\r\nMYSQLSERVERNAME=db2\r\n")
                                         << QStringList{"db2"};
    }
    void furtherServers() {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, further);
        QCOMPARE(hv::furtherServersFromIniText(content), further);
        QCOMPARE(hv::hostFromIniText(content), QString("db1"));
    }

    void readsFileAndReportsFailures() {
        QTemporaryDir dir;
        const QString path = dir.filePath("halvane.ini");

        auto numberFor = [&]() -> qint64 {
            try {
                hv::fncReadINI(path);
                return 0;
            } catch (const hv::Failure& f) {
                return f.number();
            }
        };
        QCOMPARE(numberFor(), hv::code::FileNotFound);

        // The package links halvane.ini to /etc; until the file is written there it is missing.
        QVERIFY(QFile::link(dir.filePath("nowhere.ini"), path));
        QCOMPARE(numberFor(), hv::code::FileNotFound);
        QVERIFY(QFile::remove(path));

        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QCOMPARE(numberFor(), hv::code::InputPastEnd);

        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("MYSQLSERVERNAME=server9\r\nMYSQLSERVERNAME=server10\r\n");
        f.close();
        QCOMPARE(hv::fncReadINI(path), QStringLiteral("server9"));
        QCOMPARE(hv::fncReadFurtherServers(path), QStringList{"server10"});
        QVERIFY(hv::fncReadFurtherServers(dir.filePath("missing.ini")).isEmpty());
    }

    void pathIsBesideTheExecutable() {
        const QString expected =
            QFileInfo(QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath()).absolutePath() +
            "/halvane.ini";
        QCOMPARE(hv::iniFilePath(), expected);
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
