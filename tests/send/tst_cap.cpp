// CAP in and out without a server: what the reader takes and refuses (naming the element), hostile
// documents and feeds, the time form, what a message asks of the system and when it is current,
// the site's mapping, the writer's documents read back unchanged, and the command line.
#include "CapAlert.h"
#include "CapError.h"
#include "CapExport.h"
#include "CapIndex.h"
#include "CapIntake.h"
#include "CapMapping.h"
#include "CapReader.h"
#include "CapTime.h"
#include "CapWriter.h"
#include "SendOptions.h"
#include "UsageError.h"

#include <QtTest>

namespace {

const QByteArray kFire = R"(<?xml version="1.0" encoding="UTF-8"?>
<alert xmlns="urn:oasis:names:tc:emergency:cap:1.2">
  <identifier>PANEL-7-0042</identifier>
  <sender>firepanel@plant.example</sender>
  <sent>2026-12-07T14:03:00-05:00</sent>
  <status>Actual</status>
  <msgType>Alert</msgType>
  <scope>Public</scope>
  <info>
    <category>Fire</category>
    <category>Safety</category>
    <event>Code Red</event>
    <urgency>Immediate</urgency>
    <severity>Severe</severity>
    <certainty>Observed</certainty>
    <expires>2026-12-07T15:03:00-05:00</expires>
    <headline>Smoke detector 3</headline>
    <description>
      Smoke in the east stairwell.
    </description>
    <instruction>Use the north stairs.</instruction>
    <area><areaDesc>East Wing</areaDesc><polygon>1,1 2,2 3,3 1,1</polygon></area>
    <area><areaDesc>Lobby</areaDesc></area>
  </info>
  <info>
    <category>Fire</category>
    <event>Code Rouge</event>
    <urgency>Immediate</urgency>
    <severity>Severe</severity>
    <certainty>Observed</certainty>
  </info>
</alert>
)";

using hv::CapReader;

// Seven minutes after kFire was sent, in the middle of its hour.
hv::CapIntake::Rules at(const QString& now = QStringLiteral("2026-12-07T14:10:00-05:00")) {
    hv::CapIntake::Rules rules;
    rules.now = *hv::captime::parse(now);
    return rules;
}

// The reason a document is refused with (as malformed, as not current, or as asking what is not
// done here without --exercise), or "accepted".
QString verdict(const QByteArray& document, const hv::CapIntake::Rules& rules = at()) {
    try {
        hv::CapIntake::actionFor(CapReader::parse(document), rules);
        return QStringLiteral("accepted");
    } catch (const hv::CapError& e) {
        return e.reason();
    }
}

QByteArray without(const char* element) {
    QByteArray d = kFire;
    const QByteArray open = QByteArray("<") + element + ">";
    const qsizetype at = d.indexOf(open);
    const qsizetype end = d.indexOf(QByteArray("</") + element + ">", at);
    d.remove(at, end - at + qstrlen(element) + 3);
    return d;
}

QByteArray replaced(const QByteArray& from, const QByteArray& to) {
    QByteArray d = kFire;
    return d.replace(from, to);
}

// An endless document that counts what was read from it.
class Endless : public QIODevice {
public:
    qint64 served = 0;
    Endless() { open(QIODevice::ReadOnly | QIODevice::Unbuffered); }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 max) override {
        const qint64 n = qMin<qint64>(max, 65536);
        for (qint64 i = 0; i < n; ++i)
            data[i] = "<a>"[(served + i) % 3];
        served += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }
};

} // namespace

class TestCap : public QObject {
    Q_OBJECT

private slots:
    void readsEveryInfoAndArea() {
        const hv::CapAlert a = CapReader::parse(kFire);
        QCOMPARE(a.infos.size(), 2);
        const hv::CapAlert::Info& first = a.infos[0];
        // The layout around a text is not part of it.
        QCOMPARE(QStringList({a.identifier, a.sender, a.sent, a.status, a.msgType, first.event, first.headline,
                              first.description, first.expires, first.areas[0].areaDesc, first.areas[1].areaDesc,
                              a.infos[1].event}),
                 QStringList({"PANEL-7-0042", "firepanel@plant.example", "2026-12-07T14:03:00-05:00", "Actual", "Alert",
                              "Code Red", "Smoke detector 3", "Smoke in the east stairwell.",
                              "2026-12-07T15:03:00-05:00", "East Wing", "Lobby", "Code Rouge"}));
        QCOMPARE(first.categories, QStringList({"Fire", "Safety"}));
        QCOMPARE(a.infos[1].areas.size(), 0);
        // Elements of other namespaces and unknown CAP elements are passed over.
        QCOMPARE(verdict(replaced("</alert>", "<ds:Signature xmlns:ds='http://www.w3.org/2000/09/xmldsig#'><ds:x>"
                                              "<ds:y/></ds:x></ds:Signature><future>1</future></alert>")),
                 QString("accepted"));
        // A prefix instead of the default namespace is the same document.
        QByteArray prefixed = kFire;
        prefixed.replace("<", "<cap:").replace("<cap:/", "</cap:").replace("<cap:?xml", "<?xml");
        prefixed.replace("xmlns=", "xmlns:cap=");
        QCOMPARE(CapReader::parse(prefixed), CapReader::parse(kFire));
    }

    void refusesMalformedNamingTheElement_data() {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("reason");
        for (const char* e : {"identifier", "sender", "sent", "status", "msgType", "scope"})
            QTest::addRow("no %s", e) << without(e) << QString("<alert> has no <%1>").arg(e);
        for (const char* e : {"event", "urgency", "severity", "certainty"})
            QTest::addRow("no %s", e) << without(e) << QString("<info> has no <%1>").arg(e);
        QTest::newRow("no category") << replaced("<category>Fire</category>\n    <category>Safety</category>", "")
                                     << "<info> has no <category>";
        QTest::newRow("no areaDesc") << replaced("<areaDesc>Lobby</areaDesc>", "") << "<area> has no <areaDesc>";
        QTest::newRow("empty identifier")
            << replaced("<identifier>PANEL-7-0042</identifier>", "<identifier> </identifier>")
            << "<identifier> is empty";
        QTest::newRow("sender with a blank") << replaced("firepanel@plant", "fire panel@plant")
                                             << "<sender> is \"fire panel@plant.example\"; CAP allows no blanks, "
                                                "commas, < or & in it";
        for (const char* sent : {"2026-12-07T14:03:00", "2026-12-07T14:03:00.5-05:00", "2026-02-30T14:03:00-05:00"})
            QTest::addRow("sent %s", sent)
                << replaced("<sent>2026-12-07T14:03:00-05:00", QByteArray("<sent>") + sent)
                << QString("<sent> is \"%1\", not a CAP time such as 2026-12-07T14:03:00-05:00").arg(sent);
        QTest::newRow("status case") << replaced("<status>Actual", "<status>actual")
                                     << "<status> is \"actual\"; CAP allows Actual, Exercise, System, Test or Draft";
        QTest::newRow("exercise") << replaced("<status>Actual", "<status>Exercise")
                                  << "<status> is \"Exercise\"; only Actual alerts are sent unless --exercise is given";
        QTest::newRow("ack") << replaced("<msgType>Alert", "<msgType>Ack")
                             << "<msgType> is \"Ack\"; halvane-send takes Alert, Update and Cancel messages";
        QTest::newRow("cancel without references")
            << replaced("<msgType>Alert", "<msgType>Cancel")
            << "<alert> has no <references>: a Cancel must name the alert it cancels";
        QTest::newRow("update without references")
            << replaced("<msgType>Alert", "<msgType>Update")
            << "<alert> has no <references>: an Update must name the alert it updates";
        QTest::newRow("geocode without value")
            << replaced("<areaDesc>Lobby</areaDesc>",
                        "<areaDesc>Lobby</areaDesc><geocode><valueName>SAME</valueName></geocode>")
            << "<geocode> has no <value>";
        QTest::newRow("response type") << replaced("<urgency>Immediate",
                                                   "<responseType>Run</responseType><urgency>Immediate")
                                       << "<responseType> is \"Run\"; CAP allows Shelter, Evacuate, Prepare, Execute, "
                                          "Avoid, Monitor, Assess, AllClear or None";
        QTest::newRow("second info checked too")
            << replaced("<event>Code Rouge</event>", "") << "<info> has no <event>";
        QTest::newRow("markup in text") << replaced("<event>Code Red</event>", "<event>Code <b>Red</b></event>")
                                        << "<event> holds the element <b> where only text belongs";
        QTest::newRow("references") << replaced("<scope>", "<references>a,b</references><scope>")
                                    << "<references> holds \"a,b\", not sender,identifier,sent";
        QTest::newRow("CAP 1.0") << replaced("cap:1.2", "cap:1.0")
                                 << "the document is not a CAP alert: its root element is <alert> in the namespace "
                                    "urn:oasis:names:tc:emergency:cap:1.0, not <alert> in the namespace of CAP 1.2 "
                                    "(urn:oasis:names:tc:emergency:cap:1.2) or CAP 1.1 "
                                    "(urn:oasis:names:tc:emergency:cap:1.1)";
        QTest::newRow("CAP 1.1 inside 1.2")
            << replaced(
                   "<event>Code Red</event>",
                   "<event>Code Red</event><x:urgency xmlns:x='urn:oasis:names:tc:emergency:cap:1.1'>Past</x:urgency>")
            << "accepted";
        QTest::newRow("empty") << QByteArray() << "the document is empty: it holds no <alert>";
        QTest::newRow("cut short") << kFire.left(300)
                                   << "the document is not well-formed XML (line 9, column 7: Premature end of "
                                      "document.)";
    }
    void refusesMalformedNamingTheElement() {
        QFETCH(QByteArray, document);
        QFETCH(QString, reason);
        QCOMPARE(verdict(document), reason);
    }

    void refusesHostileDocuments() {
        const QString doctype = "the document has a <!DOCTYPE> declaration, which no CAP alert has (its entities are "
                                "neither expanded nor fetched)";
        // A billion laughs: refused at the declaration, before one entity is expanded.
        QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE alert [<!ENTITY l0 \"ha\">";
        for (int i = 1; i < 10; ++i)
            laughs += QString("<!ENTITY l%1 \"&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;\">")
                          .arg(i)
                          .arg(i - 1)
                          .toUtf8();
        laughs += "]>" + kFire.mid(kFire.indexOf("<alert")).replace("Code Red", "&l9;");
        QCOMPARE(verdict(laughs), doctype);
        QCOMPARE(verdict("<!DOCTYPE alert [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" +
                         kFire.mid(kFire.indexOf("<alert")).replace("Code Red", "&x;")),
                 doctype);
        QCOMPARE(verdict("<!DOCTYPE alert SYSTEM \"http://127.0.0.1:9/cap.dtd\">" + kFire.mid(kFire.indexOf("<alert"))),
                 doctype);
        QCOMPARE(verdict(replaced("Code Red", "&x;")),
                 QString("the document is not well-formed XML (line 12, column 14: Entity 'x' not declared.)"));

        QByteArray deep = kFire;
        deep.replace("</alert>", QByteArray("<x>").repeated(100000) + QByteArray("</x>").repeated(100000) + "</alert>");
        QCOMPARE(verdict(deep), QString("<x> is nested 17 elements deep; a CAP alert needs no more than 16"));

        // A 100 MB document (or an endless one) is read only one byte past the bound.
        Endless endless;
        try {
            CapReader::readDocument(endless);
            QFAIL("an endless document was taken");
        } catch (const hv::CapError& e) {
            QCOMPARE(e.reason(), QString("the document is larger than 1048576 bytes; no CAP alert this system takes "
                                         "is that long"));
        }
        QCOMPARE(endless.served, CapReader::kMaxDocumentBytes + 1);
    }

    void timeForm() {
        QCOMPARE(hv::captime::parse("2026-12-07T14:03:00Z")->toUTC(), hv::captime::parse("2026-12-07T09:03:00-05:00"));
        QVERIFY(!hv::captime::parse("２０２６-12-07T14:03:00-05:00")); // digits of another script
        // UTC is written -00:00.
        QCOMPARE(hv::captime::format(QDateTime(QDate(2026, 12, 7), QTime(14, 3), Qt::UTC)),
                 QString("2026-12-07T14:03:00-00:00"));
    }

    void exportCarriesTheConsolesOffset() {
        // The test runs with TZ=America/New_York: the offset follows daylight saving time.
        hv::LoggedAlert row{41, "Code Red", "", QDate(2026, 12, 7), QTime(14, 3), "East Wing", ""};
        QCOMPARE(hv::CapExport::alertFor(row, "a@b").sent, QString("2026-12-07T14:03:00-05:00"));
        row.codeDate = QDate(2026, 7, 1);
        QCOMPARE(hv::CapExport::alertFor(row, "a@b").sent, QString("2026-07-01T14:03:00-04:00"));
        QCOMPARE(hv::CapExport::whyNot(row), QString());
        row.codeTime = QTime();
        QCOMPARE(hv::CapExport::whyNot(row), QString("it has no time"));
    }

    void writtenAlertsReadBackUnchanged() {
        hv::LoggedAlert row{7,
                            "  Code <Red> & \"Blue\" ",
                            " line one\r\nline two\ttabbed 😀 ",
                            QDate(2026, 12, 7),
                            QTime(14, 3),
                            "East 'Wing'\n",
                            "Go to \x01 posts."};
        hv::CapAlert written = hv::CapExport::alertFor(row, "halvane@plant.example");
        written.references = {{"a@b", "id-1", "2026-12-07T14:00:00-05:00"}};
        const hv::CapAlert read = CapReader::parse(hv::CapWriter::document(written));
        hv::CapAlert expected = written;
        expected.infos[0].instruction = "Go to \uFFFD posts."; // XML 1.0 cannot carry U+0001
        QCOMPARE(read, expected);
        QCOMPARE(hv::CapIntake::message(read.infos[0], "Go to \uFFFD posts."), row.codeMessage);
    }

    void whatAMessageAsks() {
        hv::CapAlert a = CapReader::parse(kFire);
        QCOMPARE(hv::CapIntake::message(a.infos[0], "Evacuate."),
                 QString("Smoke detector 3\nSmoke in the east stairwell.\nUse the north stairs."));
        // What the popup shows anyway is not repeated: the code as headline, the comments.
        a.infos[0].headline = "Code Red";
        QCOMPARE(hv::CapIntake::message(a.infos[0], "Use the north stairs."), QString("Smoke in the east stairwell."));
        hv::CapIntake::Rules rules = at();
        rules.exercise = true;
        a.status = "Test";
        a.msgType = "Update";
        a.references = {{"s", "i", "2026-12-07T14:00:00-05:00"}};
        QCOMPARE(hv::CapIntake::actionFor(a, rules), hv::CapIntake::Action::Submit);
        // An all-clear in every <info> leaves nothing to show: the update withdraws.
        for (hv::CapAlert::Info& info : a.infos)
            info.responseTypes = {"Monitor", "AllClear"};
        QCOMPARE(hv::CapIntake::actionFor(a, rules), hv::CapIntake::Action::Cancel);
        a.infos[1].responseTypes.clear();
        QCOMPARE(hv::CapIntake::actionFor(a, rules), hv::CapIntake::Action::Submit);
        a.msgType = "Cancel";
        a.infos.clear();
        QCOMPARE(hv::CapIntake::actionFor(a, rules), hv::CapIntake::Action::Cancel);
    }

    // Sent at 14:03 New York time: whether the message is still news, by this computer's clock.
    void onlyCurrentMessagesAreTaken_data() {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("later");
        const QByteArray noExpiry = replaced("<expires>2026-12-07T15:03:00-05:00</expires>", "");
        const QByteArray bothExpire = replaced("<certainty>Observed</certainty>\n  </info>",
                                               "<certainty>Observed</certainty>\n    "
                                               "<expires>2026-12-07T14:30:00-05:00</expires>\n  </info>");
        QTest::newRow("before it expires") << bothExpire << "2026-12-07T15:02:59-05:00"
                                           << "accepted" << false;
        QTest::newRow("expired") << bothExpire << "2026-12-07T20:03:00-00:00"
                                 << "every <info> has expired, the last at 2026-12-07T15:03:00-05:00" << false;
        QTest::newRow("years ago") << bothExpire << "2029-01-01T00:00:00Z"
                                   << "every <info> has expired, the last at 2026-12-07T15:03:00-05:00" << false;
        QTest::newRow("no expires, within the hour") << noExpiry << "2026-12-07T15:03:00-05:00"
                                                     << "accepted" << false;
        QTest::newRow("no expires, older") << noExpiry << "2026-12-07T15:03:01-05:00"
                                           << "it was sent 60 minutes ago and gives no <expires>; such a message is "
                                              "taken only for 60 minutes (--max-age 3600) after it was sent"
                                           << false;
        // The second <info> has no <expires> and goes on for the hour; then both are over.
        QTest::newRow("one expired, one without")
            << kFire << "2026-12-07T15:04:00-05:00"
            << "every <info> has expired or, without <expires>, was sent more than 60 minutes (--max-age 3600) ago"
            << false;
        QTest::newRow("a minute ahead") << kFire << "2026-12-07T14:02:00-05:00"
                                        << "accepted" << false;
        QTest::newRow("further ahead") << kFire << "2026-12-07T14:01:59-05:00"
                                       << "<sent> is 2026-12-07T14:03:00-05:00, 61 seconds ahead of this computer's "
                                          "clock; the clocks of a site agree within 60 seconds"
                                       << true;
        const QByteArray cancel = R"(<alert xmlns="urn:oasis:names:tc:emergency:cap:1.1"><identifier>c</identifier>
            <sender>s</sender><sent>2026-12-07T14:03:00-05:00</sent><status>Actual</status><msgType>Cancel</msgType>
            <scope>Public</scope><references>s,a,2026-12-07T14:00:00-05:00</references></alert>)";
        QTest::newRow("cancel without info") << cancel << "2026-12-07T14:30:00-05:00"
                                             << "accepted" << false;
        QTest::newRow("old cancel")
            << cancel << "2026-12-07T17:03:00-05:00"
            << "it was sent 3 hours ago and gives no <expires>; such a message is taken only for "
               "60 minutes (--max-age 3600) after it was sent"
            << false;
    }
    void onlyCurrentMessagesAreTaken() {
        QFETCH(QByteArray, document);
        QFETCH(QString, now);
        QFETCH(QString, reason);
        QFETCH(bool, later);
        QCOMPARE(verdict(document, at(now)), reason);
        if (reason != u"accepted") {
            try {
                hv::CapIntake::actionFor(CapReader::parse(document), at(now));
            } catch (const hv::CapError& e) {
                QCOMPARE(e.later(), later);
            }
        }
    }

    // CAP 1.1 as public feeds publish it: one <info> per language, codes of other systems.
    void readsCap11InTheSitesLanguage() {
        const QByteArray doc = R"(<?xml version="1.0"?>
<alert xmlns="urn:oasis:names:tc:emergency:cap:1.1">
  <identifier>NOAA-1</identifier><sender>w-nws@noaa.example</sender><sent>2026-12-07T14:03:00-05:00</sent>
  <status>Actual</status><msgType>Alert</msgType><scope>Public</scope>
  <info><language>es-US</language><category>Met</category><event>Aviso de tornado</event>
    <urgency>Immediate</urgency><severity>Extreme</severity><certainty>Observed</certainty>
    <eventCode><valueName>SAME</valueName><value>TOR</value></eventCode>
    <headline>Tornado en Fairfax</headline>
    <area><areaDesc>Fairfax, VA</areaDesc><geocode><valueName>SAME</valueName><value>051059</value></geocode></area>
  </info>
  <info><language>en-US</language><category>Met</category><event>Tornado Warning</event>
    <responseType>Shelter</responseType>
    <urgency>Immediate</urgency><severity>Extreme</severity><certainty>Observed</certainty>
    <eventCode><valueName>SAME</valueName><value>TOR</value></eventCode>
    <headline>Tornado in Fairfax</headline>
    <area><areaDesc>Fairfax, VA</areaDesc><geocode><valueName>SAME</valueName><value>051059</value></geocode></area>
    <area><areaDesc>Arlington, VA</areaDesc><geocode><valueName>SAME</valueName><value>051013</value></geocode></area>
  </info>
  <info><category>Met</category><event>Tornado Warning</event>
    <urgency>Immediate</urgency><severity>Extreme</severity><certainty>Observed</certainty>
    <headline>Default language</headline></info>
</alert>)";
        const hv::CapAlert a = CapReader::parse(doc);
        QCOMPARE(a.infos[1].eventCodes, QList<hv::CapAlert::Code>({{"SAME", "TOR"}}));
        QCOMPARE(a.infos[1].areas[1].geocodes, QList<hv::CapAlert::Code>({{"SAME", "051013"}}));
        QCOMPARE(a.infos[1].responseTypes, QStringList({"Shelter"}));
        auto headlines = [&](const QString& language) {
            hv::CapIntake::Rules rules = at();
            rules.language = language;
            QStringList out;
            for (const hv::CapAlert::Info* info : hv::CapIntake::considered(a, rules))
                out << info->headline;
            return out;
        };
        // An <info> without <language> is in en-US, as CAP says.
        QCOMPARE(headlines("en-US"), QStringList({"Tornado in Fairfax", "Default language"}));
        QCOMPARE(headlines("EN"), QStringList({"Tornado in Fairfax", "Default language"}));
        QCOMPARE(headlines("es-MX"), QStringList({"Tornado en Fairfax"}));
        // No <info> in the site's language, or none asked for: the message's first language.
        QCOMPARE(headlines("de"), QStringList({"Tornado en Fairfax"}));
        QCOMPARE(headlines(""), QStringList({"Tornado en Fairfax"}));
    }

    void mappingTurnsEventsAndAreasIntoTheSitesNames() {
        const hv::CapMapping map = hv::CapMapping::parse("\xEF\xBB\xBF# The county's warnings\r\n"
                                                         "event     Tornado Warning  => Code Black\r\n"
                                                         "EVENTCODE same=ffw         => Code Blue\n"
                                                         "\n"
                                                         "areaDesc  fairfax*         => East Wing\n"
                                                         "geocode   SAME=0510??      => Lobby\n"
                                                         "areaDesc  *                => Whole Site\n",
                                                         "county.map");
        hv::CapAlert::Info info;
        info.event = "Tornado Warning";
        QCOMPARE(map.codeFor(info), std::optional<QString>("Code Black"));
        info.event = "Flash Flood Warning";
        QCOMPARE(map.codeFor(info), std::nullopt);
        info.eventCodes = {{"SAME", "FFW"}};
        QCOMPARE(map.codeFor(info), std::optional<QString>("Code Blue"));
        // Each location once, in the order of the areas, then of the rules.
        const QList<hv::CapAlert::Area> areas = {{"Loudoun, VA", {{"SAME", "051107"}}},
                                                 {"Fairfax, VA", {{"FIPS6", "051059"}, {"SAME", "051059"}}}};
        QCOMPARE(map.locationsFor(areas), QStringList({"Whole Site", "East Wing", "Lobby"}));
        QCOMPARE(map.locationsFor({{"Loudoun, VA", {{"SAME", "0510599"}}}}), QStringList({"Whole Site"}));

        auto refusal = [](const QByteArray& text) {
            try {
                hv::CapMapping::parse(text, "site.map");
                return QString("taken");
            } catch (const hv::CapMapping::Error& e) {
                return e.reason;
            }
        };
        QCOMPARE(refusal("event Fire\n"),
                 QString("the mapping file site.map, line 1: no \"=>\" between the pattern and the site's name"));
        QCOMPARE(refusal("# codes\nevents Fire => Code Red\n"),
                 QString("the mapping file site.map, line 2: \"events\" is not event, eventCode, areaDesc or geocode"));
        QCOMPARE(refusal("geocode 051059 => Lobby\n"),
                 QString("the mapping file site.map, line 1: a geocode rule names the code system and the value, as "
                         "in SAME=TOR"));
        QCOMPARE(refusal("event Fire =>\n"),
                 QString("the mapping file site.map, line 1: no name of the site's after \"=>\""));
        QCOMPARE(refusal("areaDesc * => Lobby\n"),
                 QString("the mapping file site.map has no event or eventCode rule, so no message could be sent"));
    }

    void targetsOneAlertPerLocation() {
        hv::CapAlert a = CapReader::parse(kFire);
        const QStringList codes{"Code Red", "code black", "Code Black"};
        const QStringList locations{"East Wing", "Lobby", "North Yard"};
        auto described = [](const hv::CapIntake::Targets& t) {
            QStringList out;
            for (const hv::CapIntake::Target& target : t.alerts)
                out << target.code + " @ " + target.location + (target.emergency ? " !" : "");
            return out + t.leftOut;
        };
        QList<const hv::CapAlert::Info*> infos;
        for (const hv::CapAlert::Info& info : a.infos)
            infos << &info;
        // Without a mapping the catalogues' names, as the catalogue compares them.
        a.infos[0].areas.append(hv::CapAlert::Area{" lobby ", {}});
        a.infos[0].areas.append(hv::CapAlert::Area{"Roof", {}});
        QCOMPARE(described(hv::CapIntake::targets(infos, nullptr, codes, locations)),
                 QStringList({"Code Red @ East Wing", "Code Red @ Lobby",
                              "the area names no location: the locations catalogue has no \"Roof\"",
                              "the event names no code: the codes catalogue has no \"Code Rouge\""}));

        const hv::CapMapping map = hv::CapMapping::parse("event Code R* => Code Black\n"
                                                         "event Code Rouge => Code Red\n"
                                                         "areaDesc East* => North Yard\n"
                                                         "areaDesc Lobby => Gate\n",
                                                         "m");
        a.infos[0].severity = "Extreme";
        QCOMPARE(described(hv::CapIntake::targets(infos, &map, codes, locations)),
                 QStringList({"Code Black @ North Yard !",
                              "the mapping gives a location that the locations catalogue has no \"Gate\"",
                              "the <info> for the event \"Code Rouge\" has no <area>"}));
        a.infos[0].event = "Code Blue";
        QCOMPARE(described(hv::CapIntake::targets(infos, &map, codes, locations)).mid(0, 1),
                 QStringList({"no code is mapped for the event \"Code Blue\""}));

        // At most a handful of alerts from one message.
        hv::CapAlert::Info wide = a.infos[0];
        QStringList places;
        for (int i = 1; i <= 7; ++i)
            places << QString("Place %1").arg(i);
        wide.areas = {{"anywhere", {}}};
        const hv::CapMapping each = hv::CapMapping::parse(
            QByteArray("event * => Code Red\n") +
                [&] {
                    QByteArray rules;
                    for (const QString& p : places)
                        rules += "areaDesc anywhere => " + p.toUtf8() + "\n";
                    return rules;
                }(),
            "m");
        const hv::CapIntake::Targets t = hv::CapIntake::targets({&wide}, &each, codes, places);
        QCOMPARE(t.alerts.size(), hv::CapIntake::kMostAlerts);
        QCOMPARE(t.leftOut,
                 QStringList({"one message sends no more than 5 alerts; left out: \"Place 6\", \"Place 7\""}));
    }

    void readsFeeds() {
        const QUrl base("https://alerts.example/feeds/va.atom");
        // (Not a raw string: moc loses its way in one that holds "//" on a line of its own.)
        const QByteArray atom =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<feed xmlns=\"http://www.w3.org/2005/Atom\" xmlns:cap=\"urn:oasis:names:tc:emergency:cap:1.2\">\n"
            "  <id>urn:x</id><title>VA</title>\n"
            "  <entry><id>1</id><updated>2026-12-07T14:03:00-05:00</updated>\n"
            "    <link rel=\"alternate\" type=\"text/html\" href=\"page/1.html\"/>\n"
            "    <link rel=\"related\" type=\"application/cap+xml; charset=utf-8\" href=\"cap/1.xml\"/></entry>\n"
            "  <entry><id>2</id><updated>2026-12-07T14:04:00-05:00</updated><link href=\"/cap/2.xml\"/></entry>\n"
            "  <entry><id>3</id><content "
            "type=\"application/cap+xml\"><cap:alert><cap:identifier>in-3</cap:identifier>\n"
            "    "
            "<cap:sender>s</cap:sender><cap:sent>2026-12-07T14:05:00-05:00</cap:sent><cap:status>Actual</cap:status>\n"
            "    <cap:msgType>Alert</cap:msgType><cap:scope>Public</cap:scope></cap:alert></content></entry>\n"
            "  <entry><id>4</id><content type=\"application/cap+xml\" src=\"https://other.example/4.cap\"/></entry>\n"
            "  <entry><id>5</id><link href=\"http://alerts.example/cap/5.xml\"/></entry>\n"
            "  <entry><id>6</id><link href=\"file:///etc/passwd\"/></entry>\n"
            "  <entry><id>7</id><title>nothing</title></entry>\n"
            "</feed>\n";
        const hv::CapIndex index = hv::CapIndex::read(atom, base);
        QCOMPARE(index.kind, hv::CapIndex::Kind::Atom);
        QCOMPARE(index.listed, 7);
        QStringList seen;
        for (const hv::CapIndex::Entry& e : index.entries)
            seen << (e.problem.isEmpty() ? e.link.toString() : e.problem);
        QCOMPARE(seen, QStringList({"https://alerts.example/feeds/cap/1.xml", "https://alerts.example/cap/2.xml", "",
                                    "https://other.example/4.cap",
                                    "the entry links to \"http://alerts.example/cap/5.xml\" without HTTPS, from a feed "
                                    "read over HTTPS",
                                    "the entry links to \"file:///etc/passwd\", which is not an http or https address",
                                    "the entry has neither a CAP alert in its content nor a link to one"}));
        // An alert inside the feed is a document of its own, its namespace declared where the
        // feed declared it.
        QCOMPARE(CapReader::parse(index.entries[2].alert).identifier, QString("in-3"));
        QCOMPARE(index.entries[0].key(), hv::CapIndex::read(atom, base).entries[0].key());
        QVERIFY(index.entries[0].key() != index.entries[1].key());

        const QByteArray rss = "<rss version=\"2.0\"><channel><title>t</title>\n"
                               "  <item><link> https://alerts.example/cap/r1.xml </link><pubDate>Mon, 07 Dec 2026 "
                               "19:03:00 GMT</pubDate></item>\n"
                               "  <item><link>https://alerts.example/r2.html</link><enclosure url=\"r2.xml\" "
                               "type=\"application/cap+xml\"/></item>\n"
                               "</channel></rss>\n";
        const hv::CapIndex items = hv::CapIndex::read(rss, QUrl("https://alerts.example/cap/index.rss"));
        QCOMPARE(items.kind, hv::CapIndex::Kind::Rss);
        QCOMPARE(items.entries.size(), 2);
        QCOMPARE(items.entries[0].link, QUrl("https://alerts.example/cap/r1.xml"));
        QCOMPARE(items.entries[0].updated, QString("Mon, 07 Dec 2026 19:03:00 GMT"));
        QCOMPARE(items.entries[1].link, QUrl("https://alerts.example/cap/r2.xml"));

        // One CAP alert is a feed of one entry: the whole document.
        const hv::CapIndex one = hv::CapIndex::read(kFire, base);
        QCOMPARE(one.kind, hv::CapIndex::Kind::Alert);
        QCOMPARE(one.entries.size(), 1);
        QCOMPARE(one.entries[0].alert, kFire);

        // A feed is limited in entries: the count is kept, the entries beyond are not.
        QByteArray big = "<feed xmlns='http://www.w3.org/2005/Atom'>";
        for (int i = 0; i < hv::CapIndex::kMaxEntries + 20; ++i)
            big += QString("<entry><link href='https://alerts.example/%1.xml'/></entry>").arg(i).toUtf8();
        big += "</feed>";
        const hv::CapIndex limited = hv::CapIndex::read(big, base);
        QCOMPARE(limited.listed, hv::CapIndex::kMaxEntries + 20);
        QCOMPARE(limited.entries.size(), hv::CapIndex::kMaxEntries);
    }

    void refusesHostileFeeds_data() {
        QTest::addColumn<QByteArray>("feed");
        QTest::addColumn<QString>("reason");
        QTest::newRow("doctype")
            << QByteArray("<!DOCTYPE feed [<!ENTITY x SYSTEM 'file:///etc/passwd'>]>"
                          "<feed xmlns='http://www.w3.org/2005/Atom'><entry>&x;</entry></feed>")
            << "the feed has a <!DOCTYPE> declaration, which no alert feed needs (its entities are "
               "neither expanded nor fetched)";
        QTest::newRow("deep") << "<feed xmlns='http://www.w3.org/2005/Atom'><entry><content>" +
                                     QByteArray("<x>").repeated(100000) + QByteArray("</x>").repeated(100000) +
                                     "</content></entry></feed>"
                              << "<x> is nested 17 elements deep; an alert feed needs no more than 16";
        QTest::newRow("deep inside an alert") << "<feed xmlns='http://www.w3.org/2005/Atom'><entry><content><alert "
                                                 "xmlns='urn:oasis:names:tc:emergency:cap:1.2'>" +
                                                     QByteArray("<x>").repeated(50) + QByteArray("</x>").repeated(50) +
                                                     "</alert></content></entry></feed>"
                                              << "<x> is nested 17 elements deep; an alert feed needs no more than 16";
        QTest::newRow("html") << QByteArray("<html><body>Service unavailable</body></html>")
                              << "the feed is not an Atom feed, an RSS 2.0 channel or a CAP alert: its root element is "
                                 "<html> in no namespace";
        QTest::newRow("cut short") << QByteArray("<rss><channel><item>")
                                   << "the feed is not well-formed XML (line 1, column 20: Premature end of document.)";
        QTest::newRow("empty") << QByteArray() << "the feed is empty";
        QTest::newRow("too large") << QByteArray(hv::CapIndex::kMaxBytes + 1, ' ')
                                   << "the feed is larger than 4194304 bytes";
    }
    void refusesHostileFeeds() {
        QFETCH(QByteArray, feed);
        QFETCH(QString, reason);
        try {
            hv::CapIndex::read(feed, QUrl("https://alerts.example/feed"));
            QFAIL("taken");
        } catch (const hv::CapError& e) {
            QCOMPARE(e.reason(), reason);
        }
    }

    void commandLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("problem");
        QTest::newRow("nothing") << QStringList()
                                 << "nothing to do: give --code and --location, --cap, --follow or --export-cap";
        QTest::newRow("code alone") << QStringList{"--code", "Code Red"} << "--code needs --location";
        QTest::newRow("value missing") << QStringList{"--code", "--location", "Lobby"} << "--code needs a value";
        QTest::newRow("twice") << QStringList{"--cap", "a", "--cap=b"} << "--cap is given twice";
        QTest::newRow("two jobs") << QStringList{"--cap", "a", "--follow", "https://a.example/"}
                                  << "--code/--location, --cap, --follow and --export-cap go one at a time";
        QTest::newRow("not a web address") << QStringList{"--follow", "ftp://a.example/feed"}
                                           << "--follow takes an http or https address, not \"ftp://a.example/feed\"";
        QTest::newRow("every") << QStringList{"--follow", "https://a.example/", "--every", "0"}
                               << "--every takes a number of seconds from 1 to 86400, not \"0\"";
        QTest::newRow("every without follow")
            << QStringList{"--cap", "-", "--every", "60"} << "--every goes with --follow";
        QTest::newRow("max age") << QStringList{"--cap", "-", "--max-age", "1h"}
                                 << "--max-age takes a number of seconds from 1 to 604800, not \"1h\"";
        QTest::newRow("map without cap") << QStringList{"--code", "a", "--location", "b", "--map", "m"}
                                         << "--map goes with --cap or --follow";
        QTest::newRow("language") << QStringList{"--follow", "https://a.example/", "--language", "en_US"}
                                  << "--language takes a language as CAP writes it (en-US, de, fr-CA), not \"en_US\"";
        QTest::newRow("bad date") << QStringList{"--export-cap", "--since", "7/12/2026"}
                                  << "--since takes a date as YYYY-MM-DD, not \"7/12/2026\"";
        QTest::newRow("unknown") << QStringList{"--cap", "-", "--force"} << "unknown option --force";
    }
    void commandLine() {
        QFETCH(QStringList, args);
        QFETCH(QString, problem);
        try {
            hv::SendOptions::parse(args);
            QFAIL("taken");
        } catch (const hv::UsageError& e) {
            QCOMPARE(e.reason(), problem);
        }
    }
};

QTEST_GUILESS_MAIN(TestCap)
#include "tst_cap.moc"
