// halvane-send --follow as a service manager runs it, against the private server and a feed served
// by the test itself that changes between fetches: what is forwarded once, skipped, refused,
// replaced and cancelled, the one line said of each, the rows kept, a feed that is down and comes
// back, a second gateway and two at once, and a database from before the table of CAP messages.
#include "TestDb.h"

#include <QDateTime>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <memory>

namespace {

// A small HTTP/1.1 server: each path answers what the test last put there, with an ETag, and
// 304 to a request that names that ETag; everything is 503 while it is down.
class FeedServer : public QObject {
public:
    struct Answer {
        QByteArray body;
        QByteArray etag;
    };
    QHash<QString, Answer> paths;
    bool down = false;
    // "path 200", "path 304 (If-None-Match: "v1")", in the order they came.
    QStringList requests;

    bool listen() {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s] { serve(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
        return m_server.listen(QHostAddress::LocalHost);
    }
    QString url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }
    int count(const QString& what) const { return int(requests.filter(what).size()); }

private:
    void serve(QTcpSocket* s) {
        QByteArray& buffer = m_buffers[s];
        buffer += s->readAll();
        if (!buffer.contains("\r\n\r\n")) return;
        const QList<QByteArray> lines = buffer.left(buffer.indexOf("\r\n\r\n")).split('\n');
        m_buffers.remove(s);
        const QString path = QString::fromLatin1(lines.value(0).split(' ').value(1));
        QByteArray ifNoneMatch;
        for (const QByteArray& line : lines)
            if (line.toLower().startsWith("if-none-match:")) ifNoneMatch = line.mid(14).trimmed();
        QByteArray head;
        QByteArray body;
        if (down) {
            head = "HTTP/1.1 503 Service Unavailable\r\n";
        } else if (!paths.contains(path)) {
            head = "HTTP/1.1 404 Not Found\r\n";
        } else if (!paths[path].etag.isEmpty() && ifNoneMatch == paths[path].etag) {
            head = "HTTP/1.1 304 Not Modified\r\nETag: " + paths[path].etag + "\r\n";
        } else {
            body = paths[path].body;
            head = "HTTP/1.1 200 OK\r\nContent-Type: application/xml\r\n";
            if (!paths[path].etag.isEmpty()) head += "ETag: " + paths[path].etag + "\r\n";
        }
        requests << path + u' ' + QString::fromLatin1(head.mid(9, 3)) +
                        (ifNoneMatch.isEmpty() ? QString()
                                               : " (If-None-Match: " + QString::fromLatin1(ifNoneMatch) + ")");
        s->write(head + "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        s->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

const QString kNoaa = QStringLiteral("w-nws.webmaster@noaa.example");
const QString kCounty = QStringLiteral("alerts@county.example");

// A moment as CAP writes it, minutes from now.
QString minutesFromNow(int minutes) {
    return QDateTime::currentDateTimeUtc().addSecs(minutes * 60).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("-00:00");
}

struct Area {
    QString desc;
    QString geocode; // "SAME=051059", or empty
};
struct Info {
    QString language;
    QString event;
    QString eventCode;
    QString expires;
    QString headline;
    QString description;
    QList<Area> areas;
};
struct Message {
    QString version = QStringLiteral("1.2");
    QString sender;
    QString identifier;
    QString sent;
    QString msgType = QStringLiteral("Alert");
    QString references;
    QList<Info> infos;

    QString name() const { return sender + u',' + identifier + u',' + sent; }
    QString reference() const { return name(); }
    QByteArray xml(const QString& prefix = {}) const {
        const QString p = prefix.isEmpty() ? QString() : prefix + u':';
        auto el = [&](const QString& name, const QString& text) {
            return text.isEmpty() ? QString() : QStringLiteral("<%1%2>%3</%1%2>").arg(p, name, text);
        };
        auto code = [&](const QString& name, const QString& pair) {
            if (pair.isEmpty()) return QString();
            return QStringLiteral("<%1%2>").arg(p, name) + el("valueName", pair.section(u'=', 0, 0)) +
                   el("value", pair.section(u'=', 1)) + QStringLiteral("</%1%2>").arg(p, name);
        };
        QString x = prefix.isEmpty()
                        ? QStringLiteral("<alert xmlns=\"urn:oasis:names:tc:emergency:cap:%1\">").arg(version)
                        : QStringLiteral("<%1alert>").arg(p);
        x += el("identifier", identifier) + el("sender", sender) + el("sent", sent) + el("status", "Actual") +
             el("msgType", msgType) + el("scope", "Public") + el("references", references);
        for (const Info& i : infos) {
            x += QStringLiteral("<%1info>").arg(p) + el("language", i.language) + el("category", "Met") +
                 el("event", i.event) + el("urgency", "Immediate") + el("severity", "Extreme") +
                 el("certainty", "Observed") + code("eventCode", i.eventCode) + el("expires", i.expires) +
                 el("headline", i.headline) + el("description", i.description);
            for (const Area& a : i.areas)
                x += QStringLiteral("<%1area>").arg(p) + el("areaDesc", a.desc) + code("geocode", a.geocode) +
                     QStringLiteral("</%1area>").arg(p);
            x += QStringLiteral("</%1info>").arg(p);
        }
        return (x + QStringLiteral("</%1alert>").arg(p)).toUtf8();
    }
};

Message tornado(const QString& identifier, int sentMinutes, const QList<Area>& areas, const QString& headline) {
    Message m;
    m.sender = kNoaa;
    m.identifier = identifier;
    m.sent = minutesFromNow(sentMinutes);
    m.infos = {{"en-US", "Tornado Warning", "SAME=TOR", minutesFromNow(sentMinutes + 60), headline,
                "A tornado was seen near Vienna.", areas}};
    return m;
}

// An Atom feed: each entry a link to a path of the server, or a CAP alert inside.
struct Entry {
    QString link;
    QByteArray inlineAlert;
};
QByteArray atom(const QList<Entry>& entries) {
    QByteArray x = "<?xml version=\"1.0\"?><feed xmlns=\"http://www.w3.org/2005/Atom\" "
                   "xmlns:cap=\"urn:oasis:names:tc:emergency:cap:1.1\"><id>urn:county</id><title>County</title>";
    int n = 0;
    for (const Entry& e : entries) {
        x += "<entry><id>" + QByteArray::number(++n) + "</id>";
        if (!e.link.isEmpty())
            x += "<link rel=\"alternate\" type=\"application/cap+xml\" href=\"" + e.link.toUtf8() + "\"/>";
        if (!e.inlineAlert.isEmpty()) x += "<content type=\"application/cap+xml\">" + e.inlineAlert + "</content>";
        x += "</entry>";
    }
    return x + "</feed>";
}

const QByteArray kMapping = "# County warnings for the plant\n"
                            "event     Tornado Warning   => Code Black\n"
                            "eventCode SAME=FFW          => Code Blue\n"
                            "areaDesc  Fairfax*          => East Wing\n"
                            "geocode   SAME=051059       => Lobby\n"
                            "geocode   FIPS6=051600      => North Yard\n";

// Each row of alerts as "code|location|message", cancelled ones marked.
QStringList alerts() {
    QStringList out;
    for (const QSqlRecord& r : testdb::rows(
             "SELECT CONCAT_WS('|', a.CodeName, a.CodeLocation, a.CodeMessage, IF(c.AlertID IS NULL, 'live', "
             "CONCAT('cancelled by ', c.CancelledBy))) FROM alerts a LEFT JOIN cancellations c ON c.AlertID = a.ID "
             "AND c.CodeDate = a.CodeDate AND c.CodeTime = a.CodeTime ORDER BY a.ID"))
        out << r.value(0).toString();
    return out;
}

} // namespace

class TestCapGateway : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_program;
    FeedServer m_feed;

    // A gateway in the foreground, its lines as they come.
    struct Gateway {
        std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
        QStringList lines;
        QString pending;
        // The lines from `from` on.
        QStringList since(qsizetype from) const { return lines.mid(from); }
    };

    std::unique_ptr<Gateway> start(const QStringList& extra = {}) {
        auto g = std::make_unique<Gateway>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* v : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            env.remove(QLatin1String(v));
        g->process->setProcessEnvironment(env);
        Gateway* raw = g.get();
        connect(g->process.get(), &QProcess::readyReadStandardOutput, this, [raw] {
            raw->pending += QString::fromUtf8(raw->process->readAllStandardOutput());
            while (raw->pending.contains(u'\n')) {
                const qsizetype end = raw->pending.indexOf(u'\n');
                raw->lines << raw->pending.left(end);
                raw->pending.remove(0, end + 1);
            }
        });
        g->process->start(m_program,
                          QStringList{"--follow", m_feed.url("/feed.xml"), "--map", m_dir.filePath("county.map"),
                                      "--every", "1", "--language", "en-US", "--ini", m_dir.filePath("halvane.ini")} +
                              extra);
        if (!g->process->waitForStarted(10000)) qFatal("%s cannot be started", qPrintable(m_program));
        return g;
    }

    // Waits until the gateway has said `count` lines after `from`.
    bool said(Gateway& g, qsizetype from, qsizetype count, int ms = 20000) {
        QElapsedTimer t;
        t.start();
        while (g.lines.size() < from + count && t.elapsed() < ms && g.process->state() == QProcess::Running)
            QTest::qWait(50);
        if (g.lines.size() < from + count)
            qWarning("standard error: %s", g.process->readAllStandardError().constData());
        return g.lines.size() >= from + count;
    }

    int stop(Gateway& g) {
        ::kill(pid_t(g.process->processId()), SIGTERM);
        if (!g.process->waitForFinished(10000)) return -1;
        g.process->waitForReadyRead(100);
        return g.process->exitStatus() == QProcess::NormalExit ? g.process->exitCode() : -1;
    }

    struct Result {
        int status = -1;
        QString err;
    };
    Result cap(const QByteArray& document) {
        QProcess p;
        p.start(m_program,
                {"--cap", "-", "--map", m_dir.filePath("county.map"), "--ini", m_dir.filePath("halvane.ini")});
        p.write(document);
        p.closeWriteChannel();
        if (!p.waitForFinished(30000)) return {};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
    }

    void serve(const QString& path, const QByteArray& body, const QByteArray& etag = {}) {
        m_feed.paths[path] = {body, etag};
    }

    // The lines from `from`, each matched whole against a pattern (QRegularExpression syntax).
    void compareLines(const QStringList& lines, const QStringList& patterns) {
        QCOMPARE(lines.size(), patterns.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QRegularExpression re(QRegularExpression::anchoredPattern(patterns[i]));
            QVERIFY2(re.match(lines[i]).hasMatch(),
                     qPrintable(QString("line %1: %2\n  is not: %3").arg(i).arg(lines[i], patterns[i])));
        }
    }

private slots:
    void initTestCase() {
        REQUIRE_DB();
        m_program = qEnvironmentVariable("HALVANE_BINARY_DIR") + QStringLiteral("/send/halvane-send");
        QVERIFY2(QFileInfo::exists(m_program), qPrintable(m_program + " is not built"));
        QVERIFY2(m_feed.listen(), "the test's own HTTP server cannot listen on 127.0.0.1");
        QFile map(m_dir.filePath("county.map"));
        QVERIFY(map.open(QIODevice::WriteOnly));
        map.write(kMapping);
        map.close();
        QFile ini(m_dir.filePath("halvane.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("MYSQLSERVERNAME=127.0.0.1\r\nCAPSENDER=alerts@plant.example\r\n");
    }

    void init() {
        testdb::reset();
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('Code Black', 'Take shelter in the basement.'), "
                     "('Code Blue', NULL)");
        testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('East Wing'), ('Lobby'), ('North Yard')");
        m_feed.paths.clear();
        m_feed.requests.clear();
        m_feed.down = false;
    }

    void followsAFeedThatChanges() {
        const QString feed = QRegularExpression::escape(m_feed.url("/feed.xml"));
        const QString at = QRegularExpression::escape(m_feed.url("/cap/"));
        const QString q = QStringLiteral("\"");

        // Round 1: a new alert over two mapped areas and one that is not, an expired one, one from
        // the future, a CAP 1.1 one inside the feed in two languages, one that concerns nothing
        // here, a malformed and a hostile one, a link that is not the web and one that is gone.
        const Message a = tornado(
            "TOR-1", -10,
            {{"Fairfax County, VA", "SAME=051059"}, {"Falls Church, VA", ""}, {"Loudoun County, VA", "SAME=051107"}},
            "Tornado Warning for Fairfax County");
        Message expired = tornado("TOR-0", -180, {{"Fairfax County, VA", ""}}, "Old news");
        expired.infos[0].expires = minutesFromNow(-120);
        const Message future = tornado("TOR-9", 30, {{"Fairfax County, VA", ""}}, "Not yet");
        Message flood;
        flood.version = "1.1";
        flood.sender = kCounty;
        flood.identifier = "FFW-7";
        flood.sent = minutesFromNow(-8);
        flood.infos = {{"es-US",
                        "Aviso de inundación",
                        "SAME=FFW",
                        {},
                        "Inundación repentina",
                        {},
                        {{"City of Fairfax", "FIPS6=051600"}}},
                       {"en-US",
                        "Flash Flood Warning",
                        "SAME=FFW",
                        {},
                        "Flash flood at the creek",
                        {},
                        {{"City of Fairfax", "FIPS6=051600"}}}};
        Message statement = tornado("SPS-3", -7, {{"Fairfax County, VA", ""}}, "Storms");
        statement.infos[0].event = "Special Weather Statement";
        statement.infos[0].eventCode = "SAME=SPS";
        serve("/cap/tornado.xml", a.xml());
        serve("/cap/expired.xml", expired.xml());
        serve("/cap/future.xml", future.xml());
        serve("/cap/statement.xml", statement.xml());
        serve("/cap/broken.xml", a.xml().left(200));
        serve("/cap/hostile.xml",
              "<!DOCTYPE alert [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" + a.xml().replace("Vienna", "&x;"));
        QList<Entry> entries = {{"cap/tornado.xml", {}}, {"cap/expired.xml", {}},       {"cap/future.xml", {}},
                                {{}, flood.xml("cap")},  {"cap/statement.xml", {}},     {"cap/broken.xml", {}},
                                {"cap/hostile.xml", {}}, {"ftp://127.0.0.1/x.xml", {}}, {"cap/gone.xml", {}}};
        serve("/feed.xml", atom(entries), "\"v1\"");

        auto g = start();
        QVERIFY2(said(*g, 0, 10), qPrintable(g->lines.join('\n')));
        compareLines(
            g->since(0),
            {"following " + feed +
                 " every 1 seconds; events and areas as the mapping turns them into codes "
                 "and locations",
             "skipped an entry of " + feed +
                 ": the entry links to \"ftp://127.0.0.1/x.xml\", which is not an "
                 "http or https address",
             at + "gone.xml cannot be fetched: the server answered 404 Not Found; it is tried again at the next "
                  "fetch of the feed",
             "refused " + at +
                 "broken.xml: the document is not well-formed XML \\(line 1, column [0-9]+: "
                 "Premature end of document.\\)",
             "refused " + at +
                 "hostile.xml: the document has a <!DOCTYPE> declaration, which no CAP alert has "
                 "\\(its entities are neither expanded nor fetched\\)",
             "refused " + QRegularExpression::escape(expired.name()) +
                 " \\(Alert\\): every <info> has expired, the last at " +
                 QRegularExpression::escape(expired.infos[0].expires),
             "forwarded " + QRegularExpression::escape(a.name()) +
                 " \\(Alert\\): sent \"Code Black\" at \"East Wing\", \"Code Black\" at \"Lobby\"",
             "forwarded " + QRegularExpression::escape(flood.name()) +
                 " \\(Alert\\): sent \"Code Blue\" at \"North Yard\"",
             "skipped " + QRegularExpression::escape(statement.name()) +
                 " \\(Alert\\): no code is mapped for the event \"Special Weather Statement\"; nothing was sent",
             "refused " + QRegularExpression::escape(future.name()) + " \\(Alert\\): <sent> is " +
                 QRegularExpression::escape(future.sent) +
                 ", (29|30) minutes ahead of this computer's clock; the clocks of a site agree within 60 seconds"});
        // Extreme and immediate, from codes that set no presentation: over the whole screen.
        QCOMPARE(testdb::scalar("SELECT GROUP_CONCAT(DISTINCT CONCAT(Presentation, ' ', RingMode)) FROM "
                                "alertpresentations WHERE Answer1 IS NULL")
                     .toString(),
                 QString("fullscreen once"));
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM alertpresentations").toInt(),
                 testdb::scalar("SELECT COUNT(*) FROM alerts").toInt());
        QCOMPARE(alerts(),
                 QStringList(
                     {"Code Black|East Wing|Tornado Warning for Fairfax County\nA tornado was seen near Vienna.|live",
                      "Code Black|Lobby|Tornado Warning for Fairfax County\nA tornado was seen near Vienna.|live",
                      "Code Blue|North Yard|Flash flood at the creek|live"}));
        // One row per alert made, every message by its CAP name.
        QCOMPARE(
            testdb::scalar("SELECT GROUP_CONCAT(CONCAT_WS(' ', Identifier, AlertNo, MsgType, Outcome, CodeLocation) "
                           "ORDER BY Identifier, AlertNo SEPARATOR ', ') FROM capmessages")
                .toString(),
            QString("FFW-7 0 Alert sent North Yard, TOR-1 0 Alert sent East Wing, TOR-1 1 Alert sent Lobby"));

        // Round 2: the tornado warning is updated (one ring: two alerts taken back, one sent), a
        // cancel names another sender's message, and one names this site's own exported alert.
        QTest::qWait(2500); // fetches of the unchanged feed, with nothing more to say
        QCOMPARE(g->lines.size(), 10);
        Message update = tornado("TOR-2", -5, {{"Fairfax County, VA", ""}}, "Tornado Warning extended");
        update.msgType = "Update";
        update.references = a.reference();
        Message foreign;
        foreign.sender = kNoaa;
        foreign.identifier = "CAN-1";
        foreign.sent = minutesFromNow(-4);
        foreign.msgType = "Cancel";
        foreign.references = flood.reference();
        Message ours = foreign;
        ours.identifier = "CAN-X";
        ours.sent = minutesFromNow(-3);
        ours.references = "alerts@plant.example,halvane-1-20261209T0400," + minutesFromNow(-3);
        // And an alert of this site's own export, which a gateway following it would send again.
        Message echo = tornado("halvane-7-20261209T0400", -6, {{"Fairfax County, VA", ""}}, "Echo");
        echo.sender = "alerts@plant.example";
        serve("/cap/tornado-update.xml", update.xml());
        entries +=
            {{"cap/tornado-update.xml", {}}, {{}, foreign.xml("cap")}, {{}, ours.xml("cap")}, {{}, echo.xml("cap")}};
        serve("/feed.xml", atom(entries), "\"v2\"");
        QVERIFY2(said(*g, 10, 4), qPrintable(g->lines.join('\n')));
        compareLines(
            g->since(10),
            {"refused " + QRegularExpression::escape(echo.name()) +
                 " \\(Alert\\): <sender> is this site's own \\(alerts@plant.example\\): its alerts are on the "
                 "workstations already",
             "replaced " + QRegularExpression::escape(update.name()) +
                 " \\(Update\\): 2 earlier alerts taken back; sent \"Code Black\" at \"East Wing\"",
             "refused " + QRegularExpression::escape(foreign.name()) +
                 " \\(Cancel\\): <msgType> is \"Cancel\" for FFW-7 from alerts@county.example, which is neither "
                 "this message's sender nor this site \\(alerts@plant.example\\); nothing was changed",
             "refused " + QRegularExpression::escape(ours.name()) +
                 " \\(Cancel\\): <msgType> is \"Cancel\" for halvane-1-20261209T0400, an alert of this site's "
                 "own; only the console, or halvane-send --cap at the console's computer, takes those back; "
                 "nothing was changed"});
        const QString byNoaa = "cancelled by " + kNoaa;
        QCOMPARE(
            alerts(),
            QStringList(
                {"Code Black|East Wing|Tornado Warning for Fairfax County\nA tornado was seen near Vienna.|" + byNoaa,
                 "Code Black|Lobby|Tornado Warning for Fairfax County\nA tornado was seen near Vienna.|" + byNoaa,
                 "Code Blue|North Yard|Flash flood at the creek|live",
                 "Code Black|East Wing|Tornado Warning extended\nA tornado was seen near Vienna.|live"}));

        // Round 3: the county cancels its own flood warning.
        Message cancel;
        cancel.sender = kCounty;
        cancel.identifier = "FFW-8";
        cancel.sent = minutesFromNow(-2);
        cancel.msgType = "Cancel";
        cancel.references = flood.reference();
        serve("/cap/flood-cancel.xml", cancel.xml());
        entries += {{"cap/flood-cancel.xml", {}}};
        serve("/feed.xml", atom(entries), "\"v3\"");
        QVERIFY2(said(*g, 14, 1), qPrintable(g->lines.join('\n')));
        compareLines(g->since(14),
                     {"cancelled " + QRegularExpression::escape(cancel.name()) + " \\(Cancel\\): 1 alert taken back"});
        QCOMPARE(alerts().value(2), "Code Blue|North Yard|Flash flood at the creek|cancelled by " + kCounty);

        // Round 4: the feed is down for two fetches, each followed by a longer wait, and comes back
        // with a new alert.
        m_feed.down = true;
        QVERIFY2(said(*g, 15, 2), qPrintable(g->lines.join('\n')));
        compareLines(
            g->since(15),
            {"the feed " + feed +
                 " cannot be fetched: the server answered 503 Service Unavailable; the next try is in 2 seconds",
             "the feed " + feed +
                 " cannot be fetched: the server answered 503 Service Unavailable; the next try is in 4 seconds"});
        const Message again = tornado("TOR-3", -1, {{"Arlington, VA", "SAME=051059"}}, "Second tornado");
        serve("/cap/tornado-3.xml", again.xml());
        entries += {{"cap/tornado-3.xml", {}}};
        serve("/feed.xml", atom(entries), "\"v4\"");
        m_feed.down = false;
        QVERIFY2(said(*g, 17, 2), qPrintable(g->lines.join('\n')));
        compareLines(g->since(17), {"the feed " + feed + " answers again, after 2 failed fetches",
                                    "forwarded " + QRegularExpression::escape(again.name()) +
                                        " \\(Alert\\): sent \"Code Black\" at \"Lobby\""});

        QCOMPARE(stop(*g), 0);
        QCOMPARE(g->lines.last(), QString("stopped by SIGTERM"));
        QCOMPARE(g->lines.size(), 20);
        // An unchanged feed costs a 304; each document was fetched once.
        QVERIFY2(m_feed.count("/feed.xml 304 (If-None-Match: \"v1\")") >= 1, qPrintable(m_feed.requests.join('\n')));
        QCOMPARE(m_feed.count("/cap/tornado.xml "), 1);
        QCOMPARE(m_feed.count("/cap/tornado-update.xml "), 1);

        // The same message from the command line is taken once as well.
        const Result r = cap(a.xml());
        QCOMPARE(r.status, 0);
        QVERIFY2(
            QRegularExpression("^halvane-send: standard input: it was taken already, on .+ at [0-9-]+ [0-9:]+, and its "
                               "alerts were sent; nothing is done twice\n$")
                .match(r.err)
                .hasMatch(),
            qPrintable(r.err));
        QCOMPARE(alerts().size(), 5);

        // Two gateways started at once on the same feed, with one more new alert: each of the
        // older messages is skipped by both, and the new one is sent once.
        const Message last = tornado("TOR-4", 0, {{"Fairfax County, VA", ""}}, "Third tornado");
        serve("/cap/tornado-4.xml", last.xml());
        entries += {{"cap/tornado-4.xml", {}}};
        serve("/feed.xml", atom(entries), "\"v5\"");
        auto first = start();
        auto second = start();
        for (Gateway* gw : {first.get(), second.get()}) {
            // The message sent furthest ahead is decided last.
            QTRY_VERIFY2_WITH_TIMEOUT(!gw->lines.filter(future.identifier).isEmpty(), qPrintable(gw->lines.join('\n')),
                                      20000);
            QCOMPARE(stop(*gw), 0);
            const QStringList done = gw->lines.filter(QRegularExpression("^(forwarded|replaced|cancelled) "));
            QVERIFY2(done.isEmpty() || done == QStringList{"forwarded " + last.name() +
                                                           " (Alert): sent \"Code Black\" at \"East Wing\""},
                     qPrintable(gw->lines.join('\n')));
            // What the first gateway took is taken already; of two messages in one feed of which
            // the newer updates or cancels the older, the older is not sent to be taken back.
            for (const Message* m : std::initializer_list<const Message*>{&update, &cancel, &again})
                QCOMPARE(gw->lines
                             .filter(QRegularExpression("^skipped " + QRegularExpression::escape(m->name()) +
                                                        ".*: it was taken already, on .+; nothing is done twice$"))
                             .size(),
                         qsizetype(1));
            QCOMPARE(gw->lines
                         .filter("skipped " + a.name() + " (Alert): " + update.name() +
                                 ", in the same feed, updates or cancels it")
                         .size(),
                     qsizetype(1));
        }
        const QString fwd = "forwarded " + last.name();
        QCOMPARE(first->lines.filter(fwd).size() + second->lines.filter(fwd).size(), qsizetype(1));
        QCOMPARE(alerts().size(), 6);
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM capmessages WHERE Identifier = 'TOR-4'").toInt(), 1);
    }

    // A database from before the table: --cap sends as it always did, --follow says what to do;
    // the upgrade adds the table as a new site has it, and from then on a message is taken once.
    void olderDatabase() {
        const QString created = testdb::rows("SHOW CREATE TABLE capmessages").value(0).value(1).toString();
        testdb::exec("DROP TABLE capmessages");
        auto restore = qScopeGuard([] {
            QString out;
            testdb::applyUpgrade(&out);
        });
        const Message m = tornado("TOR-5", -2, {{"Fairfax County, VA", ""}}, "Tornado");
        for (int i = 0; i < 2; ++i) {
            const Result r = cap(m.xml());
            QCOMPARE(r.status, 0);
            QCOMPARE(r.err, QString());
        }
        QCOMPARE(alerts().size(), 2);

        serve("/feed.xml", atom({{"cap/m.xml", {}}}));
        auto g = start();
        QVERIFY(g->process->waitForFinished(20000));
        QCOMPARE(g->process->exitCode(), 1);
        QCOMPARE(QString::fromUtf8(g->process->readAllStandardError()),
                 QString("halvane-send: the database on \"127.0.0.1\" has no table capmessages, which keeps the CAP "
                         "messages taken so that each is taken once; apply upgrade.sql on the database server (and "
                         "then the accounts script, where the programs have their own accounts)\n"));
        QCOMPARE(m_feed.count("/feed.xml"), 0);

        QString out;
        QVERIFY2(testdb::applyUpgrade(&out), qPrintable(out));
        QVERIFY2(testdb::applyUpgrade(&out), qPrintable(out));
        QCOMPARE(testdb::rows("SHOW CREATE TABLE capmessages").value(0).value(1).toString(), created);
        QCOMPARE(cap(m.xml()).status, 0);
        QVERIFY(cap(m.xml()).err.contains("it was taken already"));
        QCOMPARE(alerts().size(), 3);

        // A mapping that is not one is the command line's fault.
        QFile bad(m_dir.filePath("bad.map"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("event Tornado Warning -> Code Black\n");
        bad.close();
        QProcess p;
        p.start(m_program,
                {"--follow", m_feed.url("/feed.xml"), "--map", bad.fileName(), "--ini", m_dir.filePath("halvane.ini")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()),
                 "halvane-send: the mapping file " + bad.fileName() +
                     ", line 1: no \"=>\" between the pattern and the site's name\n");
    }
};

QTEST_GUILESS_MAIN(TestCapGateway)
#include "tst_cap_gateway.moc"
