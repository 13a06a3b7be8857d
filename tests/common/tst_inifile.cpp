#include "Failure.h"
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
        f.write("MYSQLSERVERNAME=server9\r\n");
        f.close();
        QCOMPARE(hv::fncReadINI(path), QStringLiteral("server9"));
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
