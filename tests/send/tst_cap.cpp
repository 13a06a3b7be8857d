// CAP 1.2 in and out without a server: what the reader takes and refuses (naming the element),
// hostile documents, the time form, what a message asks of the system, the writer's documents read
// back unchanged, and the command line.
#include "CapAlert.h"
#include "CapError.h"
#include "CapExport.h"
#include "CapIntake.h"
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

// The reason a document is refused with (as malformed, or as asking what is not done here
// without --exercise), or "accepted".
QString verdict(const QByteArray& document) {
    try {
        hv::CapIntake::actionFor(CapReader::parse(document), false);
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
    void readsTheFirstInfoAndArea() {
        const hv::CapAlert a = CapReader::parse(kFire);
        // The layout around a text is not part of it.
        QCOMPARE(QStringList({a.identifier, a.sender, a.sent, a.status, a.msgType, a.event, a.headline, a.description,
                              a.areaDesc}),
                 QStringList({"PANEL-7-0042", "firepanel@plant.example", "2026-12-07T14:03:00-05:00", "Actual", "Alert",
                              "Code Red", "Smoke detector 3", "Smoke in the east stairwell.", "East Wing"}));
        QCOMPARE(a.categories, QStringList({"Fire", "Safety"}));
        QVERIFY(a.infoCount == 2 && a.areaCount == 2);
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
        QTest::newRow("no area") << replaced("<areaDesc>East Wing</areaDesc><polygon>1,1 2,2 3,3 1,1</polygon>", "")
                                        .replace("<area></area>", "")
                                        .replace("<area><areaDesc>Lobby</areaDesc></area>", "")
                                 << "<info> has no <area>: the <areaDesc> of its first <area> names the location";
        QTest::newRow("second info checked too")
            << replaced("<event>Code Rouge</event>", "") << "<info> has no <event>";
        QTest::newRow("markup in text") << replaced("<event>Code Red</event>", "<event>Code <b>Red</b></event>")
                                        << "<event> holds the element <b> where only text belongs";
        QTest::newRow("references") << replaced("<scope>", "<references>a,b</references><scope>")
                                    << "<references> holds \"a,b\", not sender,identifier,sent";
        QTest::newRow("CAP 1.1") << replaced("cap:1.2", "cap:1.1")
                                 << "the document is not a CAP 1.2 alert: its root element is <alert> in the "
                                    "namespace urn:oasis:names:tc:emergency:cap:1.1, not <alert> in the namespace "
                                    "urn:oasis:names:tc:emergency:cap:1.2";
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
        expected.instruction = "Go to \uFFFD posts."; // XML 1.0 cannot carry U+0001
        QCOMPARE(read, expected);
        QCOMPARE(hv::CapIntake::message(read, "Go to \uFFFD posts."), row.codeMessage);
    }

    void whatAMessageAsks() {
        hv::CapAlert a = CapReader::parse(kFire);
        QCOMPARE(hv::CapIntake::message(a, "Evacuate."),
                 QString("Smoke detector 3\nSmoke in the east stairwell.\nUse the north stairs."));
        // What the popup shows anyway is not repeated: the code as headline, the comments.
        a.headline = "Code Red";
        QCOMPARE(hv::CapIntake::message(a, "Use the north stairs."), QString("Smoke in the east stairwell."));
        a.status = "Test";
        a.msgType = "Update";
        QCOMPARE(hv::CapIntake::actionFor(a, true), hv::CapIntake::Action::Submit);
        a.msgType = "Cancel";
        a.references = {{"s", "i", "2026-12-07T14:03:00-05:00"}};
        QCOMPARE(hv::CapIntake::actionFor(a, true), hv::CapIntake::Action::Cancel);
    }

    void commandLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("problem");
        QTest::newRow("nothing") << QStringList() << "nothing to do: give --code and --location, --cap or --export-cap";
        QTest::newRow("code alone") << QStringList{"--code", "Code Red"} << "--code needs --location";
        QTest::newRow("value missing") << QStringList{"--code", "--location", "Lobby"} << "--code needs a value";
        QTest::newRow("twice") << QStringList{"--cap", "a", "--cap=b"} << "--cap is given twice";
        QTest::newRow("two jobs") << QStringList{"--cap", "a", "--export-cap"}
                                  << "--code/--location, --cap and --export-cap go one at a time";
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
