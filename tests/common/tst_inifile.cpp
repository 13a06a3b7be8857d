#include "Failure.h"
#include "IniFile.h"
#include "IniSettings.h"

#include <QTemporaryDir>
#include <QtTest>

// halvane.ini as the programs read it: the first line as it always was, every further line by
// the one rule of IniSettings.h, and what is reported instead of being left out without a word.
namespace {

// Every field of the settings that is set, one "NAME=value" each, in the file's key order; so a
// row names all that a file sets and nothing else slips in.
QStringList fieldsOf(const hv::IniSettings& s) {
    QStringList out;
    auto add = [&out](const char* name, const QString& value) {
        if (!value.isEmpty()) out << QLatin1String(name) + u'=' + value;
    };
    add("strDataPath", s.strDataPath);
    add("MYSQLSERVERNAME", s.furtherServers.join(u'|'));
    add("MORVIKUSER", s.morvikUser);
    add("MORVIKPASSWORD", s.morvikPassword);
    add("HALVANEUSER", s.halvaneUser);
    add("HALVANEPASSWORD", s.halvanePassword);
    add("MYSQLSSLCA", s.sslCa);
    add("MYSQLSSLCERT", s.sslCert);
    add("MYSQLSSLKEY", s.sslKey);
    add("CAPSENDER", s.capSender);
    add("MQTTSERVERNAME", s.mqttServers.join(u'|'));
    add("MORVIKMQTTUSER", s.morvikMqttUser);
    add("MORVIKMQTTPASSWORD", s.morvikMqttPassword);
    add("HALVANEMQTTUSER", s.halvaneMqttUser);
    add("HALVANEMQTTPASSWORD", s.halvaneMqttPassword);
    add("MQTTSSLCA", s.mqttSslCa);
    add("MQTTSITE", s.mqttSite);
    if (s.tls) out << QStringLiteral("tls");
    if (s.mqttTls) out << QStringLiteral("mqtt tls");
    return out;
}

QStringList problemsOf(const hv::IniSettings& s) {
    QStringList out;
    for (const hv::IniSettings::Problem& p : s.problems)
        out << QStringLiteral("%1: %2").arg(p.line).arg(p.text);
    return out;
}

const QString kFolder = QStringLiteral("/etc/halvane");

} // namespace

class TestIniFile : public QObject {
    Q_OBJECT

    static qint64 failureReading(const QString& path) {
        try {
            hv::fncReadINI(path);
            return 0;
        } catch (const hv::Failure& f) {
            return f.number();
        }
    }

    static void write(const QString& path, const QByteArray& content) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }

private slots:
    // The first line alone, exactly as it has always been read; its key is never compared.
    void hostFromLine_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("host");
        QTest::newRow("key then host") << QByteArray("MYSQLSERVERNAME=alerts-db") << "alerts-db";
        QTest::newRow("blanks around dropped") << QByteArray("   MYSQLSERVERNAME=alerts-db   ") << "alerts-db";
        QTest::newRow("key not compared") << QByteArray("XXXXXXXXXXXXXXXXserver7") << "server7";
        QTest::newRow("misspelt key") << QByteArray("MYSQLSERVERNAMX=server7") << "server7";
        QTest::newRow("lower-case key") << QByteArray("mysqlservername=server7") << "server7";
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
        QCOMPARE(hv::IniSettings::fromText(content, kFolder).strDataPath, host);
    }

    // Every key over the one rule of the further lines: blanks, CR LF, quotes, letter case,
    // repeats, comments, relative paths, and the lines that are reported instead of read.
    void furtherLines_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QStringList>("problems");

        QTest::newRow("one line, nothing else")
            << QByteArray("MYSQLSERVERNAME=db1\r\n") << QStringList{"strDataPath=db1"} << QStringList{};
        QTest::newRow("every key, CR LF") << QByteArray("MYSQLSERVERNAME=db1\r\n"
                                                        "MYSQLSERVERNAME=db2\r\n"
                                                        "MYSQLSERVERNAME=db3\r\n"
                                                        "MORVIKUSER=halvane_tray\r\n"
                                                        "MORVIKPASSWORD=Tray1\r\n"
                                                        "HALVANEUSER=halvane_console\r\n"
                                                        "HALVANEPASSWORD=Console1\r\n"
                                                        "MYSQLSSLCA=ca.pem\r\n"
                                                        "MYSQLSSLCERT=/opt/tls/cert.pem\r\n"
                                                        "MYSQLSSLKEY=private/key.pem\r\n"
                                                        "CAPSENDER=alerts@plant.example\r\n")
                                          << QStringList{"strDataPath=db1",
                                                         "MYSQLSERVERNAME=db2|db3",
                                                         "MORVIKUSER=halvane_tray",
                                                         "MORVIKPASSWORD=Tray1",
                                                         "HALVANEUSER=halvane_console",
                                                         "HALVANEPASSWORD=Console1",
                                                         "MYSQLSSLCA=/etc/halvane/ca.pem",
                                                         "MYSQLSSLCERT=/opt/tls/cert.pem",
                                                         "MYSQLSSLKEY=/etc/halvane/private/key.pem",
                                                         "CAPSENDER=alerts@plant.example",
                                                         "tls"}
                                          << QStringList{};
        // The old readers left an indented or lower-case line out: plain text instead of TLS.
        QTest::newRow("blanks around the line and the =, any letter case")
            << QByteArray("MYSQLSERVERNAME=db1\n"
                          "  \tmysqlsslca=ca.pem \t\n"
                          "MorvikUser = Halvane_Tray\n"
                          "\tmysqlservername =\tDB2 \n"
                          "capsender= Plant \n")
            << QStringList{"strDataPath=db1",         "MYSQLSERVERNAME=DB2",
                           "MORVIKUSER=Halvane_Tray", "MYSQLSSLCA=/etc/halvane/ca.pem",
                           "CAPSENDER=Plant",         "tls"}
            << QStringList{};
        QTest::newRow("quotes keep blanks and lose themselves")
            << QByteArray("MYSQLSERVERNAME=db1\n"
                          "MORVIKPASSWORD=\" p=w;d \"\n"
                          "HALVANEUSER=\"\"\n"
                          "HALVANEPASSWORD=say \"hi\"\n"
                          "CAPSENDER=\"a\"b\"\n"
                          "MYSQLSSLCA=\"my certs/ca.pem\"\n")
            << QStringList{"strDataPath=db1",
                           "MORVIKPASSWORD= p=w;d ",
                           "HALVANEPASSWORD=say \"hi\"",
                           "MYSQLSSLCA=/etc/halvane/my certs/ca.pem",
                           "CAPSENDER=a\"b",
                           "tls"}
            << QStringList{};
        QTest::newRow("comments and empty lines") << QByteArray("MYSQLSERVERNAME=db1\n"
                                                                "# MORVIKUSER=commented out\n"
                                                                "  ; MYSQLSSLCA=ca.pem\n"
                                                                "\n"
                                                                " \t \n"
                                                                "#MYSQLSERVERNAME=db9\n")
                                                  << QStringList{"strDataPath=db1"} << QStringList{};
        QTest::newRow("the first line of a key wins; a different second one is reported")
            << QByteArray("MYSQLSERVERNAME=db1\n"
                          "HALVANEUSER=halvane_console\n"
                          "HALVANEUSER=halvane_console\n"
                          "halvaneuser=someone else\n"
                          "MORVIKUSER=\n"
                          "MORVIKUSER=late\n")
            << QStringList{"strDataPath=db1", "HALVANEUSER=halvane_console"}
            << QStringList{"4: HALVANEUSER is set on line 2 already: this second value is not read.",
                           "6: MORVIKUSER is set on line 5 already: this second value is not read."};
        QTest::newRow("cluster nodes: repeats left out, a comma ends the host")
            << QByteArray("MYSQLSERVERNAME=db1\n"
                          "MYSQLSERVERNAME=DB1\n"
                          "MYSQLSERVERNAME=db2\n"
                          "MYSQLSERVERNAME=Db2\n"
                          "MYSQLSERVERNAME=db3, db4\n"
                          "MYSQLSERVERNAME=\"db5\"\n"
                          "MYSQLSERVERNAME=\n"
                          "MYSQLSERVERNAME=db6,\n")
            << QStringList{"strDataPath=db1", "MYSQLSERVERNAME=db2|db3|db5|db6"}
            << QStringList{"5: a comma ends the host name, as on the first line: \"db4\" is not read.",
                           "7: MYSQLSERVERNAME names no host: the line is not read."};
        QTest::newRow("the first line is never a setting, whatever its key")
            << QByteArray("MORVIKUSER=xxxxxdb9\nMYSQLSERVERNAME=db2\n")
            << QStringList{"strDataPath=db9", "MYSQLSERVERNAME=db2"} << QStringList{};
        QTest::newRow("a certificate key, even empty, asks for TLS")
            << QByteArray("MYSQLSERVERNAME=db1\nMYSQLSSLCERT=\n") << QStringList{"strDataPath=db1", "tls"}
            << QStringList{};
        QTest::newRow("byte-order mark, LF, no final line end")
            << QByteArray("\xEF\xBB\xBFMYSQLSERVERNAME=db1\nMYSQLSSLKEY=/k.pem")
            << QStringList{"strDataPath=db1", "MYSQLSSLKEY=/k.pem", "tls"} << QStringList{};
        QTest::newRow("reported: a key without =")
            << QByteArray("MYSQLSERVERNAME=db1\n"
                          "MYSQLSSLCA ca.pem\n"
                          "mysqlsslca: ca.pem\n"
                          "MORVIKPASSWORD\n")
            << QStringList{"strDataPath=db1"}
            << QStringList{"2: MYSQLSSLCA is not followed by \"=\": the line is not read.",
                           "3: MYSQLSSLCA is not followed by \"=\": the line is not read.",
                           "4: MORVIKPASSWORD is not followed by \"=\": the line is not read."};
        QTest::newRow("reported: a key nearly right")
            << QByteArray("MYSQLSERVERNAME=db1\n"
                          "MYSQL_SSL_CA=ca.pem\n"
                          "MORVIKPASWORD=x\n"
                          "HALVANEUSERNAME=x\n"
                          "MYSQLSERVERNAMX=db3\n"
                          "MYSLQSSLKEY=k.pem\n"
                          "\"MYSQLSERVERNAME=db4\"\n"
                          "MYSQLSSL=ca.pem\n"
                          "CAPSENDER ID=x\n")
            << QStringList{"strDataPath=db1"}
            << QStringList{"2: \"MYSQL_SSL_CA\" is not a key (is MYSQLSSLCA meant?): the line is not read.",
                           "3: \"MORVIKPASWORD\" is not a key (is MORVIKPASSWORD meant?): the line is not read.",
                           "4: \"HALVANEUSERNAME\" is not a key (is HALVANEUSER meant?): the line is not read.",
                           "5: \"MYSQLSERVERNAMX\" is not a key (is MYSQLSERVERNAME meant?): the line is not read.",
                           "6: \"MYSLQSSLKEY\" is not a key (is MYSQLSSLKEY meant?): the line is not read.",
                           "7: the quotes belong around the value alone (MYSQLSERVERNAME=\"…\"): the line is not "
                           "read.",
                           "8: \"MYSQLSSL\" is not a key (is MYSQLSSLCA meant?): the line is not read.",
                           "9: \"CAPSENDER ID\" is not a key (is CAPSENDER meant?): the line is not read."};
        // A later version's keys, and notes an administrator left, are no concern of this one.
        QTest::newRow("not reported: other keys and text") << QByteArray("MYSQLSERVERNAME=db1\n"
                                                                         "MYSQLUSER=root\n"
                                                                         "WAKEUPTOPIC=x\n"
                                                                         "Ask the IT desk before changing this file\n"
                                                                         "[halvane]\n"
                                                                         "=value\n")
                                                           << QStringList{"strDataPath=db1"} << QStringList{};
        // The wake-up channel's lines: brokers in order (the database's host is no concern of
        // theirs), a port only where it is a port, a site name that is one topic level, and an
        // authority that asks for TLS to the brokers alone.
        QTest::newRow("the wake-up channel")
            << QByteArray("MYSQLSERVERNAME=db1\n"
                          "MQTTSERVERNAME=db1\n"
                          "mqttservername = broker2:8884\n"
                          "MQTTSERVERNAME=[fe80::1]:1883\n"
                          "MQTTSERVERNAME=broker3:0\n"
                          "MQTTSERVERNAME=broker4:port\n"
                          "MORVIKMQTTUSER=m\n"
                          "MORVIKMQTTPASSWORD=\" p \"\n"
                          "HALVANEMQTTUSER=h\n"
                          "HALVANEMQTTPASSWORD=q\n"
                          "MQTTSSLCA=broker-ca.pem\n"
                          "MQTTSITE=north/yard\n"
                          "MQTTSITE=north-yard\n"
                          "MQTTSERVERNAM=broker5\n")
            << QStringList{"strDataPath=db1",
                           "MQTTSERVERNAME=db1|broker2:8884|[fe80::1]:1883",
                           "MORVIKMQTTUSER=m",
                           "MORVIKMQTTPASSWORD= p ",
                           "HALVANEMQTTUSER=h",
                           "HALVANEMQTTPASSWORD=q",
                           "MQTTSSLCA=/etc/halvane/broker-ca.pem",
                           "MQTTSITE=north-yard",
                           "mqtt tls"}
            << QStringList{
                   "5: \"broker3:0\" is not a host or host:port with a port from 1 to 65535: the line is not read.",
                   "6: \"broker4:port\" is not a host or host:port with a port from 1 to 65535: the line is not "
                   "read.",
                   "12: MQTTSITE must be a name of 1 to 64 characters without \"/\", \"+\" or \"#\": the line "
                   "is not read.",
                   "14: \"MQTTSERVERNAM\" is not a key (is MQTTSERVERNAME meant?): the line is not read."};
        QTest::newRow("reported: an open quote, a control character")
            << QByteArray("MYSQLSERVERNAME=db1\n"
                          "MORVIKPASSWORD=\"secret\n"
                          "MORVIKUSER=\"\n"
                          "HALVANEUSER=a\rb\r\n"
                          "MYSQLSERVERNAME=db\x01"
                          "2\n")
            << QStringList{"strDataPath=db1"}
            << QStringList{
                   "2: the value of MORVIKPASSWORD opens a double quote that it does not close: the line is not read.",
                   "3: the value of MORVIKUSER opens a double quote that it does not close: the line is not read.",
                   "4: the value of HALVANEUSER holds a control character (a lone carriage return?): the line is not "
                   "read.",
                   "5: the value of MYSQLSERVERNAME holds a control character (a lone carriage return?): the line is "
                   "not read."};
        // The key is right and the value is not: no connection in plain text for that.
        QTest::newRow("a certificate key with a value not read still asks for TLS")
            << QByteArray("MYSQLSERVERNAME=db1\nMYSQLSSLCA=\"ca.pem\n") << QStringList{"strDataPath=db1", "tls"}
            << QStringList{
                   "2: the value of MYSQLSSLCA opens a double quote that it does not close: the line is not read."};
    }
    void furtherLines() {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, fields);
        QFETCH(QStringList, problems);
        const hv::IniSettings s = hv::IniSettings::fromText(content, kFolder);
        QCOMPARE(fieldsOf(s), fields);
        QCOMPARE(problemsOf(s), problems);
        // The first line reads as it always has, whatever follows it.
        QCOMPARE(s.strDataPath, hv::hostFromIniText(content));
    }

    // Each program logs in with its own account where the file names one, else as root; the
    // certificates hold for both.
    void accountsOfEachProgram() {
        const hv::IniSettings s = hv::IniSettings::fromText("MYSQLSERVERNAME=db1\n"
                                                            "MORVIKUSER=halvane_tray\n"
                                                            "MORVIKPASSWORD=Tray1\n"
                                                            "HALVANEPASSWORD=orphan\n"
                                                            "MYSQLSSLCA=/ca.pem\n");
        const hv::DatabaseAccess tray = s.trayAccess();
        QCOMPARE(tray.user, QStringLiteral("halvane_tray"));
        QCOMPARE(tray.password, QStringLiteral("Tray1"));
        QVERIFY(tray.tls);
        QCOMPARE(tray.sslCa, QStringLiteral("/ca.pem"));
        // A password without a name names no account: the console keeps root, over TLS.
        const hv::DatabaseAccess console = s.consoleAccess();
        QVERIFY(console.user.isEmpty());
        QVERIFY(console.password.isEmpty());
        QVERIFY(console.tls);

        // A file without settings keeps root over plain TCP.
        const hv::IniSettings none = hv::IniSettings::fromText("MYSQLSERVERNAME=db1\r\n");
        QVERIFY(none.trayAccess().user.isEmpty());
        QVERIFY(!none.trayAccess().tls);
        QVERIFY(none.trayAccess().tlsConnectOptions().isEmpty());
    }

    void problemLinesNameTheFileAndTheLine() {
        const hv::IniSettings s = hv::IniSettings::fromText("MYSQLSERVERNAME=db1\n\nMYSQLSSLCA ca.pem\n");
        QCOMPARE(s.problemLines("/etc/halvane/halvane.ini"),
                 QStringList{"/etc/halvane/halvane.ini, line 3: MYSQLSSLCA is not followed by \"=\": the line is not "
                             "read."});
    }

    void readsTheFileAndReportsFailures() {
        QTemporaryDir dir;
        const QString path = dir.filePath("halvane.ini");
        QCOMPARE(failureReading(path), hv::code::FileNotFound);

        // The package links halvane.ini to /etc; until the file is written there it is missing.
        QVERIFY(QFile::link(dir.filePath("nowhere.ini"), path));
        QCOMPARE(failureReading(path), hv::code::FileNotFound);
        QVERIFY(QFile::remove(path));

        write(path, "");
        QCOMPARE(failureReading(path), hv::code::InputPastEnd);
        write(path, "\xEF\xBB\xBF");
        QCOMPARE(failureReading(path), hv::code::InputPastEnd);

        // Something there that cannot be read as a file.
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir(dir.path()).mkdir("halvane.ini"));
        QCOMPARE(failureReading(path), hv::code::PathFileAccess);
        QVERIFY(QDir(dir.path()).rmdir("halvane.ini"));

        write(path, "MYSQLSERVERNAME=server9\r\nMYSQLSERVERNAME=server10\r\nCAPSENDER=plant\r\n");
        const hv::IniSettings s = hv::fncReadINI(path);
        QCOMPARE(fieldsOf(s), (QStringList{"strDataPath=server9", "MYSQLSERVERNAME=server10", "CAPSENDER=plant"}));
        QVERIFY(s.problems.isEmpty());
    }

    // A file beyond the bound is read up to its last whole line, and the rest is said.
    void anOverlongFileIsCutAtALine() {
        QTemporaryDir dir;
        const QString path = dir.filePath("halvane.ini");
        QByteArray content = "MYSQLSERVERNAME=db1\nMORVIKUSER=halvane_tray\n";
        const QByteArray padding = "# padding padding padding padding padding padding padding padding\n";
        while (content.size() + padding.size() < 64 * 1024 - 20)
            content += padding;
        const int cutLine = int(content.count('\n')) + 1;
        // This line crosses the bound.
        content += "MORVIKPASSWORD=" + QByteArray(200, 'x') + "\nHALVANEUSER=late\n";
        write(path, content);
        const hv::IniSettings s = hv::fncReadINI(path);
        QCOMPARE(fieldsOf(s), (QStringList{"strDataPath=db1", "MORVIKUSER=halvane_tray"}));
        QCOMPARE(problemsOf(s), QStringList{QString::number(cutLine) + ": the file is longer than 65536 bytes: this "
                                                                       "line and all after it are not read."});
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
