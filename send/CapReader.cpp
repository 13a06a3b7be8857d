#include "CapReader.h"

#include "CapError.h"
#include "CapTime.h"

#include <QHash>
#include <QIODevice>
#include <QList>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace hv {

namespace {

const QString kXmlNamespace = QStringLiteral("http://www.w3.org/XML/1998/namespace");

// The elements of each block whose text this reader keeps; a second one of these is malformed.
// Repeatable elements (category) are collected apart; the rest are passed over.
const QStringList kAlertTexts = {"identifier", "sender",      "sent",      "status", "msgType",    "source",
                                 "scope",      "restriction", "addresses", "note",   "references", "incidents"};
const QStringList kInfoTexts = {"language", "event",       "urgency",     "severity", "certainty",
                                "audience", "effective",   "onset",       "expires",  "senderName",
                                "headline", "description", "instruction", "web",      "contact"};
const QStringList kAreaTexts = {"areaDesc", "altitude", "ceiling"};

const QStringList kStatus = {"Actual", "Exercise", "System", "Test", "Draft"};
const QStringList kMsgType = {"Alert", "Update", "Cancel", "Ack", "Error"};
const QStringList kScope = {"Public", "Restricted", "Private"};
const QStringList kCategory = {"Geo",    "Met", "Safety",    "Security", "Rescue", "Fire",
                               "Health", "Env", "Transport", "Infra",    "CBRNE",  "Other"};
const QStringList kUrgency = {"Immediate", "Expected", "Future", "Past", "Unknown"};
const QStringList kSeverity = {"Extreme", "Severe", "Moderate", "Minor", "Unknown"};
const QStringList kCertainty = {"Observed", "Likely", "Possible", "Unlikely", "Unknown"};

struct Block {
    QHash<QString, QString> texts;
    QStringList categories;
};
struct Info : Block {
    QList<Block> areas;
};

// A value from the document as it may appear in a message: short, on one line.
QString quoted(const QString& value) {
    QString v = value.left(60);
    for (QChar& c : v)
        if (!c.isPrint()) c = u' ';
    return u'"' + v + (value.size() > 60 ? QStringLiteral("...\"") : QStringLiteral("\""));
}

QString tag(const QString& name) {
    return u'<' + name + u'>';
}

QString listed(const QStringList& values) {
    return values.mid(0, values.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ") + values.back();
}

[[noreturn]] void refuse(const QString& reason) {
    throw CapError(reason);
}

class Parse {
public:
    explicit Parse(const QByteArray& document) : m_xml(document) {}

    void run() {
        while (!m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::DTD:
                // Entity expansion and external entities both need a document type declaration;
                // no CAP message has one.
                refuse(QStringLiteral("the document has a <!DOCTYPE> declaration, which no CAP alert has (its entities "
                                      "are neither expanded nor fetched)"));
            case QXmlStreamReader::EntityReference:
                refuse(QStringLiteral("the document uses the undeclared entity &%1;").arg(m_xml.name()));
            case QXmlStreamReader::StartElement:
                startElement();
                break;
            case QXmlStreamReader::EndElement:
                endElement();
                break;
            case QXmlStreamReader::Characters:
                if (m_capture && m_path.size() == m_captureDepth) m_text += m_xml.text();
                break;
            default:
                break;
            }
        }
        if (m_xml.hasError()) {
            if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError && m_path.isEmpty() && !m_sawRoot)
                refuse(QStringLiteral("the document is empty: it holds no <alert>"));
            refuse(QStringLiteral("the document is not well-formed XML (line %1, column %2: %3)")
                       .arg(m_xml.lineNumber())
                       .arg(m_xml.columnNumber())
                       .arg(m_xml.errorString()));
        }
    }

    CapAlert result() const;

private:
    void startElement() {
        if (m_capture)
            refuse(QStringLiteral("%1 holds the element %2 where only text belongs")
                       .arg(tag(m_captureName), tag(m_xml.name().toString())));
        const bool preserve = preserveHere();
        m_path.append(m_xml.name().toString());
        m_cap.append(m_xml.namespaceUri() == CapReader::kNamespace);
        m_preserve.append(preserve);
        if (m_path.size() > CapReader::kMaxDepth)
            refuse(QStringLiteral("%1 is nested %2 elements deep; a CAP alert needs no more than %3")
                       .arg(tag(m_path.back()))
                       .arg(m_path.size())
                       .arg(CapReader::kMaxDepth));

        if (m_path.size() == 1) {
            m_sawRoot = true;
            if (m_path[0] != u"alert" || !m_cap[0])
                refuse(QStringLiteral("the document is not a CAP 1.2 alert: its root element is %1 in %2, not <alert> "
                                      "in the namespace %3")
                           .arg(tag(m_path[0]),
                                m_xml.namespaceUri().isEmpty()
                                    ? QStringLiteral("no namespace")
                                    : QStringLiteral("the namespace ") + m_xml.namespaceUri().toString(),
                                CapReader::kNamespace));
            return;
        }
        // Only elements of CAP's own namespace, in CAP's own places, are read; others (a
        // signature, an extension) are passed over.
        for (bool cap : std::as_const(m_cap))
            if (!cap) return;
        const QString& name = m_path.back();
        if (m_path.size() == 2) {
            if (name == u"info") {
                m_infos.append(Info{});
            } else if (kAlertTexts.contains(name)) {
                capture(&m_alert, name);
            }
        } else if (m_path.size() == 3 && m_path[1] == u"info") {
            Info& info = m_infos.back();
            if (name == u"area") {
                info.areas.append(Block{});
            } else if (name == u"category") {
                capture(&info, name, true);
            } else if (kInfoTexts.contains(name)) {
                capture(&info, name);
            }
        } else if (m_path.size() == 4 && m_path[1] == u"info" && m_path[2] == u"area") {
            if (kAreaTexts.contains(name)) capture(&m_infos.back().areas.back(), name);
        }
    }

    void endElement() {
        if (m_capture && m_path.size() == m_captureDepth) {
            const QString text = m_preserve.back() ? m_text : m_text.trimmed();
            if (m_captureList) {
                m_capture->categories.append(text);
            } else {
                m_capture->texts.insert(m_captureName, text);
            }
            m_capture = nullptr;
        }
        m_path.removeLast();
        m_cap.removeLast();
        m_preserve.removeLast();
    }

    void capture(Block* block, const QString& name, bool list = false) {
        if (!list && block->texts.contains(name)) {
            const QString parent = m_path[m_path.size() - 2];
            refuse(QStringLiteral("%1 has more than one %2").arg(tag(parent), tag(name)));
        }
        m_capture = block;
        m_captureName = name;
        m_captureList = list;
        m_captureDepth = m_path.size();
        m_text.clear();
    }

    // xml:space="preserve" keeps whitespace at the ends of a text; it holds for the element that
    // carries it and everything inside, until an element says "default".
    bool preserveHere() const {
        const QStringView space = m_xml.attributes().value(kXmlNamespace, QStringLiteral("space"));
        if (space == u"preserve") return true;
        if (space == u"default") return false;
        return !m_preserve.isEmpty() && m_preserve.back();
    }

    QXmlStreamReader m_xml;
    QStringList m_path;
    QList<bool> m_cap;
    QList<bool> m_preserve;
    bool m_sawRoot = false;

    Block m_alert;
    QList<Info> m_infos;

    Block* m_capture = nullptr;
    QString m_captureName;
    bool m_captureList = false;
    qsizetype m_captureDepth = 0;
    QString m_text;
};

QString required(const Block& block, const QString& parent, const QString& name) {
    const auto it = block.texts.constFind(name);
    if (it == block.texts.cend()) refuse(QStringLiteral("%1 has no %2").arg(tag(parent), tag(name)));
    if (it->isEmpty()) refuse(QStringLiteral("%1 is empty").arg(tag(name)));
    return *it;
}

void oneOf(const QString& name, const QString& value, const QStringList& allowed) {
    if (!allowed.contains(value))
        refuse(QStringLiteral("%1 is %2; CAP allows %3").arg(tag(name), quoted(value), listed(allowed)));
}

void capTime(const QString& name, const QString& value) {
    if (!captime::parse(value))
        refuse(
            QStringLiteral("%1 is %2, not a CAP time such as 2026-12-07T14:03:00-05:00").arg(tag(name), quoted(value)));
}

// Identifiers and senders go into other messages' <references>, which separate by blanks and commas.
void plainName(const QString& name, const QString& value) {
    for (QChar c : value)
        if (c.isSpace() || c == u',' || c == u'<' || c == u'&')
            refuse(
                QStringLiteral("%1 is %2; CAP allows no blanks, commas, < or & in it").arg(tag(name), quoted(value)));
}

CapAlert Parse::result() const {
    CapAlert a;
    const QString alert = QStringLiteral("alert");
    a.identifier = required(m_alert, alert, QStringLiteral("identifier"));
    plainName(QStringLiteral("identifier"), a.identifier);
    a.sender = required(m_alert, alert, QStringLiteral("sender"));
    plainName(QStringLiteral("sender"), a.sender);
    a.sent = required(m_alert, alert, QStringLiteral("sent"));
    capTime(QStringLiteral("sent"), a.sent);
    a.status = required(m_alert, alert, QStringLiteral("status"));
    oneOf(QStringLiteral("status"), a.status, kStatus);
    a.msgType = required(m_alert, alert, QStringLiteral("msgType"));
    oneOf(QStringLiteral("msgType"), a.msgType, kMsgType);
    a.scope = required(m_alert, alert, QStringLiteral("scope"));
    oneOf(QStringLiteral("scope"), a.scope, kScope);

    const QString references = m_alert.texts.value(QStringLiteral("references"));
    for (const QString& triple : references.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        const QStringList parts = triple.split(u',');
        if (parts.size() != 3 || parts[0].isEmpty() || parts[1].isEmpty() || !captime::parse(parts[2]))
            refuse(QStringLiteral("<references> holds %1, not sender,identifier,sent").arg(quoted(triple)));
        a.references.append({parts[0], parts[1], parts[2]});
    }

    const QString info = QStringLiteral("info");
    for (const Info& block : m_infos) {
        if (block.categories.isEmpty()) refuse(QStringLiteral("<info> has no <category>"));
        for (const QString& category : block.categories)
            oneOf(QStringLiteral("category"), category, kCategory);
        required(block, info, QStringLiteral("event"));
        oneOf(QStringLiteral("urgency"), required(block, info, QStringLiteral("urgency")), kUrgency);
        oneOf(QStringLiteral("severity"), required(block, info, QStringLiteral("severity")), kSeverity);
        oneOf(QStringLiteral("certainty"), required(block, info, QStringLiteral("certainty")), kCertainty);
        for (const char* name : {"effective", "onset", "expires"}) {
            const auto it = block.texts.constFind(QLatin1String(name));
            if (it != block.texts.cend()) capTime(QLatin1String(name), *it);
        }
        for (const Block& area : block.areas)
            required(area, QStringLiteral("area"), QStringLiteral("areaDesc"));
    }

    a.infoCount = int(m_infos.size());
    if (!m_infos.isEmpty()) {
        const Info& first = m_infos.front();
        a.categories = first.categories;
        a.event = first.texts.value(QStringLiteral("event"));
        a.urgency = first.texts.value(QStringLiteral("urgency"));
        a.severity = first.texts.value(QStringLiteral("severity"));
        a.certainty = first.texts.value(QStringLiteral("certainty"));
        a.headline = first.texts.value(QStringLiteral("headline"));
        a.description = first.texts.value(QStringLiteral("description"));
        a.instruction = first.texts.value(QStringLiteral("instruction"));
        a.areaCount = int(first.areas.size());
        if (!first.areas.isEmpty()) a.areaDesc = first.areas.front().texts.value(QStringLiteral("areaDesc"));
    }
    return a;
}

} // namespace

QByteArray CapReader::readDocument(QIODevice& in) {
    QByteArray document;
    while (document.size() <= kMaxDocumentBytes) {
        const QByteArray chunk = in.read(kMaxDocumentBytes + 1 - document.size());
        if (chunk.isEmpty()) break;
        document += chunk;
    }
    if (document.size() > kMaxDocumentBytes)
        refuse(QStringLiteral("the document is larger than %1 bytes; no CAP alert this system takes is that long")
                   .arg(kMaxDocumentBytes));
    return document;
}

CapAlert CapReader::parse(const QByteArray& document) {
    if (document.size() > kMaxDocumentBytes)
        refuse(QStringLiteral("the document is larger than %1 bytes; no CAP alert this system takes is that long")
                   .arg(kMaxDocumentBytes));
    Parse parse(document);
    parse.run();
    return parse.result();
}

} // namespace hv
