// halvane-send as a script runs it, against the private server: what it stores next to what the
// console stores for the same choices, every exit status with its one line, and the alert log out
// as CAP and back in.
#include "ConsoleKit.h"
#include "TestDb.h"

#include <QDateTime>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Result {
    int status = -1;
    QByteArray out;
    QString err;
};

// Each row of a table as "name|message|date|time|location|comments", NULL shown as <NULL>.
QStringList stored(const char* table) {
    QStringList out;
    const auto rows =
        testdb::rows(QStringLiteral("SELECT CodeName, CodeMessage, DATE_FORMAT(CodeDate, '%Y-%m-%d'), "
                                    "TIME_FORMAT(CodeTime, '%H:%i:%s'), CodeLocation, Comments FROM %1 ORDER BY ID")
                         .arg(QLatin1String(table)));
    for (const QSqlRecord& r : rows) {
        QStringList cols;
        for (int i = 0; i < r.count(); ++i)
            cols << (r.value(i).isNull() ? QStringLiteral("<NULL>") : r.value(i).toString());
        out << cols.join(u'|');
    }
    return out;
}

const QString kComments = QStringLiteral("All employees report to their fire watch location.");

} // namespace

class TestSend : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_program;
    // Where set, the command runs with its clock this far off (libfaketime's "+1d"), the rest of
    // the machine untouched.
    QString m_clockOffset;

    QString ini(const QByteArray& content, const QString& name = QStringLiteral("halvane.ini")) {
        QFile f(m_dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write %s", qPrintable(f.fileName()));
        f.write(content);
        return f.fileName();
    }

    // The command runs in the system's zone, as the database server does, unless zone is given.
    Result send(QStringList args, const QByteArray& input = {}, const QString& iniPath = {}, const QString& zone = {}) {
        args << QStringLiteral("--ini")
             << (iniPath.isEmpty() ? m_dir.filePath(QStringLiteral("halvane.ini")) : iniPath);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("TZ"));
        if (!zone.isEmpty()) env.insert(QStringLiteral("TZ"), zone);
        // faketime preloads its library ahead of an instrumented build's runtime, which that runtime
        // refuses unless told the order is intended.
        if (!m_clockOffset.isEmpty() && env.contains(QStringLiteral("ASAN_OPTIONS")))
            env.insert(QStringLiteral("ASAN_OPTIONS"),
                       env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));
        p.setProcessEnvironment(env);
        if (m_clockOffset.isEmpty())
            p.start(m_program, args);
        else
            p.start(QStringLiteral("faketime"), QStringList{QStringLiteral("-f"), m_clockOffset, m_program} + args);
        if (!p.waitForStarted(10000)) return {};
        if (!input.isEmpty()) p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            return {};
        }
        Result r;
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput();
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    // The command said one thing on standard error, and nothing was stored.
    void refused(const Result& r, int status, const QString& line) {
        QCOMPARE(r.status, status);
        QCOMPARE(r.err, QStringLiteral("halvane-send: ") + line + u'\n');
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM alerts").toInt(), 0);
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM AlertLog").toInt(), 0);
    }

    QString xmllint(const QStringList& args, const QByteArray& input, int* rc) {
        QProcess p;
        p.start(QStringLiteral("xmllint"), args);
        if (!p.waitForStarted(5000)) {
            *rc = -1;
            return QStringLiteral("xmllint is not installed (Debian package libxml2-utils; scripts/setup installs it)");
        }
        p.write(input);
        p.closeWriteChannel();
        p.waitForFinished(30000);
        *rc = p.exitCode();
        return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    }

private slots:
    void initTestCase() {
        REQUIRE_DB();
        m_program = qEnvironmentVariable("HALVANE_BINARY_DIR") + QStringLiteral("/send/halvane-send");
        QVERIFY2(QFileInfo::exists(m_program), qPrintable(m_program + " is not built"));
    }

    void init() {
        testdb::reset();
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('Code Red', ?), ('Code Blue', NULL)", {kComments});
        testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('East Wing'), ('Lobby')");
        ini("MYSQLSERVERNAME=127.0.0.1\r\nCAPSENDER=alerts@plant.example\r\n");
    }

    // A computer whose clock is a day ahead would date a purge by it and take every live alert of the
    // server's day: it is refused before the purge, and nothing is stored either.
    void clockFarOffIsRefusedBeforeThePurge() {
        testdb::exec("INSERT INTO alerts (CodeName, CodeDate, CodeTime, CodeLocation) VALUES ('Live', CURRENT_DATE, "
                     "TIME(NOW() - INTERVAL 20 SECOND), 'Lobby')");
        m_clockOffset = QStringLiteral("+1d");
        const Result r = send({"--code", "Code Red", "--location", "Lobby"});
        m_clockOffset.clear();
        QVERIFY2(r.status != -1,
                 "faketime did not run halvane-send (Debian package faketime; scripts/setup installs it)");
        QCOMPARE(r.status, 1);
        QVERIFY2(QRegularExpression("^halvane-send: the alert was not stored: this computer's clock is (24 hours|\\d+ "
                                    "hours?) ahead of the database server's; nothing was purged or stored \\(set this "
                                    "computer's clock right and send again\\)\n$")
                     .match(r.err)
                     .hasMatch(),
                 qPrintable(r.err));
        QCOMPARE(testdb::scalar("SELECT GROUP_CONCAT(CodeName) FROM alerts").toString(), QString("Live"));
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM AlertLog").toInt(), 0);
    }

    void storesWhatTheConsoleStores() {
        for (const bool withMessage : {false, true}) {
            testdb::exec("DELETE FROM alerts");
            testdb::exec("DELETE FROM AlertLog");
            // Both read the same clock: this computer's, in the zone the server keeps.
            const QDateTime before = testdb::scalar("SELECT NOW()").toDateTime();
            {
                ConsoleKit console;
                console.clock.set(before);
                console.started();
                if (withMessage) {
                    console.msg.answers = {hv::Answer::Yes};
                    onNextModal([](QWidget* form7) {
                        QTest::keyClicks(form7->findChild<QPlainTextEdit*>("Text1"), "Smoke on floor 2");
                        QTest::keyClick(form7->findChild<QPlainTextEdit*>("Text1"), Qt::Key_Return);
                    });
                }
                console.choose("Code Red", "East Wing");
                QTest::mouseClick(console.form1->findChild<QPushButton*>("Command1"), Qt::LeftButton);
                QCOMPARE(console.titles(), QStringList({"Custom Message", "Halvane Saved"}));
            }
            QStringList args{"--code", "Code Red", "--location", "East Wing"};
            if (withMessage)
                args << "--message"
                     << "Smoke on floor 2";
            const Result r = send(args);
            QCOMPARE(r.status, 0);
            const QDateTime after = testdb::scalar("SELECT NOW()").toDateTime();

            const QStringList rows = stored("alerts");
            QCOMPARE(rows.size(), 2);
            QCOMPARE(stored("AlertLog"), rows);
            // Identical but for the minute, which is the same unless a minute began in between.
            QStringList console = rows[0].split(u'|'), command = rows[1].split(u'|');
            const QDateTime at = QDateTime::fromString(command[2] + u'T' + command[3], Qt::ISODate);
            QVERIFY2(at.time().second() == 0 && at >= before.addSecs(-before.time().second()) && at <= after,
                     qPrintable(rows[1]));
            if (before.time().minute() == after.time().minute()) QCOMPARE(command, console);
            console.remove(2, 2);
            command.remove(2, 2);
            QCOMPARE(command, console);
        }
    }

    void everyExitStatus() {
        // 2: the command line, before anything else is looked at.
        refused(send({"--code", "Code Red"}), 2, "--code needs --location (see halvane-send --help)");
        // 3: names the catalogues do not have.
        refused(send({"--code", "Code Green", "--location", "Lobby"}), 3,
                "unknown code \"Code Green\": the codes catalogue has no such name");
        refused(send({"--code", "Code Red", "--location", "Roof"}), 3,
                "unknown location \"Roof\": the locations catalogue has no such name");
        // 4: nothing answers at the server's address.
        ini("MYSQLSERVERNAME=" + testdb::hostUnreachable().toUtf8() + "\r\n", "unreachable.ini");
        Result r = send({"--code", "Code Red", "--location", "Lobby"}, {}, m_dir.filePath("unreachable.ini"));
        QCOMPARE(r.status, 4);
        QVERIFY2(r.err.startsWith("halvane-send: the alert was not stored: cannot reach the database server "
                                  "\"127.0.0.9\": ") &&
                     r.err.count('\n') == 1 && r.err.endsWith('\n'),
                 qPrintable(r.err));
        // ... unless a further line names a node of the same cluster that does (indented, in any
        // letter case). A line meant as a setting but not read is said, and stops nothing.
        const QString cluster = ini("MYSQLSERVERNAME=" + testdb::hostUnreachable().toUtf8() +
                                        "\r\n  mysqlservername = 127.0.0.1\r\nCAPSENDER:plant\r\n",
                                    "cluster.ini");
        r = send({"--code", "Code Red", "--location", "Lobby"}, {}, cluster);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.err,
                 "halvane-send: " + cluster + ", line 3: CAPSENDER is not followed by \"=\": the line is not read.\n");
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM AlertLog").toInt(), 1);
        testdb::exec("DELETE FROM alerts");
        testdb::exec("DELETE FROM AlertLog");
        // 5: the server refuses the product's password.
        {
            testdb::WrongPassword wrong;
            r = send({"--code", "Code Red", "--location", "Lobby"});
        }
        refused(r, 5, "the alert was not stored: the database server \"127.0.0.1\" refused the login");
        // 1: anything else; here rights that let the product read but not write.
        {
            testdb::ReadOnlyRights readOnly;
            r = send({"--code", "Code Red", "--location", "Lobby"});
        }
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.startsWith("halvane-send: the alert was not stored: the database server \"127.0.0.1\" denied "
                                  "the rights for it: ") &&
                     r.err.count('\n') == 1,
                 qPrintable(r.err));
        refused(send({"--code", "Code Red", "--location", "Lobby"}, {}, m_dir.filePath("missing.ini")), 1,
                m_dir.filePath("missing.ini") +
                    " was not found; its first line names the database server as MYSQLSERVERNAME=host");
        // 6: a CAP message that is not taken; 100 MB are refused after the first mebibyte.
        refused(send({"--cap", "-"}, QByteArray(100 * 1024 * 1024, ' ')), 6,
                "standard input: the document is larger than 1048576 bytes; no CAP alert this system takes is that "
                "long");

        // 0: stored. A name in another letter case is the catalogue's name; a message longer than
        // its column is cut to what the column holds, and standard error says so.
        r = send({"--code", "code red", "--location", "East Wing", "--message", QString(599, u'x') + "😀 and more"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.err, QString("halvane-send: the message has 610 characters; the alert was stored with its first "
                                "599, all that the message column holds\n"));
        QCOMPARE(testdb::scalar("SELECT CONCAT_WS('|', CodeName, CodeMessage, CodeLocation) FROM AlertLog").toString(),
                 "Code Red|" + QString(599, u'x') + "|East Wing");
        QCOMPARE(stored("alerts"), stored("AlertLog"));
    }

    void capOutAndBackIn() {
        QCOMPARE(send({"--code", "Code Red", "--location", "East Wing", "--message",
                       "Use the north stairs & don't <run>\nWait at the gate."})
                     .status,
                 0);
        QCOMPARE(send({"--code", "Code Blue", "--location", "Lobby"}).status, 0);

        // Exported on a computer in New York's zone, as this test runs.
        const QString zone = qEnvironmentVariable("TZ");
        QCOMPARE(zone, QString("America/New_York"));
        const Result feed = send({"--export-cap"}, {}, {}, zone);
        QCOMPARE(feed.status, 0);
        QCOMPARE(feed.err, QString());
        int rc = -1;
        QString lint = xmllint({"--noout", "-"}, feed.out, &rc);
        QVERIFY2(rc == 0, qPrintable(lint));
        QCOMPARE(feed.out.count("<entry>"), 2);
        QVERIFY(feed.out.contains("<sender>alerts@plant.example</sender>"));

        // sent: the alert's minute with the offset of the exporting computer's zone.
        const auto row = testdb::rows("SELECT CodeDate, CodeTime FROM AlertLog ORDER BY ID LIMIT 1").value(0);
        const QDateTime local(row.value(0).toDate(), row.value(1).toTime());
        const QString sent = local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
        QVERIFY2(sent.endsWith("-05:00") || sent.endsWith("-04:00"), qPrintable(sent));
        QVERIFY2(feed.out.contains("<sent>" + sent.toUtf8() + "</sent>"), feed.out.constData());

        // The identifiers stay the same from one export to the next; --since leaves out older days.
        static const QRegularExpression identifier("<identifier>([^<]+)</identifier>");
        auto identifiers = [](const QByteArray& xml) {
            QStringList ids;
            for (auto it = identifier.globalMatch(QString::fromUtf8(xml)); it.hasNext();)
                ids << it.next().captured(1);
            return ids;
        };
        const QStringList ids = identifiers(feed.out);
        QCOMPARE(identifiers(send({"--export-cap"}, {}, {}, zone).out), ids);
        QVERIFY2(ids.size() == 2 && ids[0] != ids[1], qPrintable(ids.join(' ')));
        const Result none = send({"--export-cap", "--since", row.value(0).toDate().addDays(1).toString(Qt::ISODate)});
        QCOMPARE(none.status, 0);
        QCOMPARE(none.out.count("<entry>"), 0);

        // Each exported alert, taken out of the feed as it stands, sends the same alert again (from
        // a computer in the zone of the one that sent it, as the clocks of one site agree).
        const QStringList before = stored("AlertLog");
        testdb::exec("DELETE FROM alerts");
        const Result here = send({"--export-cap"});
        for (int entry = 1; entry <= 2; ++entry) {
            const QString alert =
                xmllint({"--xpath", QString("(//*[local-name()='alert'])[%1]").arg(entry), "-"}, here.out, &rc);
            QVERIFY2(rc == 0, qPrintable(alert));
            const Result back = send({"--cap", "-"}, alert.toUtf8());
            QVERIFY2(back.status == 0, qPrintable(back.err));
        }
        // Newest first in the feed: the alerts come back in the other order.
        auto what = [](const QString& row) {
            const QStringList c = row.split(u'|');
            return QStringList({c[0], c[1], c[4], c[5]}).join(u'|');
        };
        const QStringList again = stored("alerts");
        QCOMPARE(again.size(), 2);
        QCOMPARE(what(again[0]), what(before[1]));
        QCOMPARE(what(again[1]), what(before[0]));
        QCOMPARE(stored("AlertLog").mid(2), again);
    }
    void capCancelOfAnExportedAlert() {
        QCOMPARE(send({"--code", "Code Red", "--location", "East Wing"}).status, 0);
        const Result feed = send({"--export-cap"});
        static const QRegularExpression exported("<identifier>([^<]+)</identifier>.*<sent>([^<]+)</sent>",
                                                 QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpressionMatch m = exported.match(QString::fromUtf8(feed.out));
        QVERIFY2(m.hasMatch(), feed.out.constData());
        auto cancelOf = [](const QString& sender, const QString& identifier, const QString& sent,
                           const QString& undo = QStringLiteral("undo-1")) {
            return QStringLiteral("<alert xmlns=\"urn:oasis:names:tc:emergency:cap:1.2\"><identifier>%4</identifier>"
                                  "<sender>duty@plant.example</sender><sent>%3</sent><status>Actual</status>"
                                  "<msgType>Cancel</msgType><scope>Public</scope><references>%1,%2,%3</references>"
                                  "</alert>")
                .arg(sender, identifier, sent, undo)
                .toUtf8();
        };

        // Another site's alert is refused and nothing changes.
        const Result foreign = send({"--cap", "-"}, cancelOf("alerts@mill.example", m.captured(1), m.captured(2)));
        QCOMPARE(foreign.status, 6);
        QCOMPARE(foreign.err, "halvane-send: standard input: <msgType> is \"Cancel\" for " + m.captured(1) +
                                  " from alerts@mill.example, which is neither this message's sender nor this site "
                                  "(alerts@plant.example); nothing was changed\n");
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM cancellations").toInt(), 0);

        // This site's: cancelled as the console cancels it, once.
        const QByteArray cancel = cancelOf("alerts@plant.example", m.captured(1), m.captured(2));
        const Result done = send({"--cap", "-"}, cancel);
        QCOMPARE(done.status, 0);
        QCOMPARE(done.err, QString());
        const auto c = testdb::rows("SELECT c.CancelledBy, c.AlertID = a.ID, c.LogID = l.ID FROM cancellations c, "
                                    "alerts a, AlertLog l");
        QCOMPARE(c.size(), 1);
        QCOMPARE(c[0].value(0).toString(), QString("duty@plant.example"));
        QVERIFY(c[0].value(1).toBool() && c[0].value(2).toBool());
        // The same message again is skipped; another that names the same alert finds it cancelled.
        const Result again = send({"--cap", "-"}, cancel);
        QCOMPARE(again.status, 0);
        QVERIFY2(again.err.startsWith("halvane-send: standard input: it was taken already, on ") &&
                     again.err.endsWith(", and it cancelled earlier alerts; nothing is done twice\n"),
                 qPrintable(again.err));
        const Result other =
            send({"--cap", "-"}, cancelOf("alerts@plant.example", m.captured(1), m.captured(2), "undo-2"));
        QCOMPARE(other.status, 0);
        QCOMPARE(other.err, "halvane-send: " + m.captured(1) + " was cancelled already\n");
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM cancellations").toInt(), 1);
        QCOMPARE(stored("alerts").size(), 1);
        QCOMPARE(stored("AlertLog").size(), 1);
    }
};

QTEST_MAIN(TestSend)
#include "tst_send.moc"
