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
// Repeatable elements (category, responseType) are collected apart; the rest are passed over.
const QStringList kAlertTexts = {"identifier", "sender",      "sent",      "status", "msgType",    "source",
                                 "scope",      "restriction", "addresses", "note",   "references", "incidents"};
const QStringList kInfoTexts = {"language", "event",       "urgency",     "severity", "certainty",
                                "audience", "effective",   "onset",       "expires",  "senderName",
                                "headline", "description", "instruction", "web",      "contact"};
const QStringList kAreaTexts = {"areaDesc", "altitude", "ceiling"};
// The two halves of an <eventCode> and a <geocode>.
const QStringList kCodeTexts = {"valueName", "value"};

const QStringList kStatus = {"Actual", "Exercise", "System", "Test", "Draft"};
const QStringList kMsgType = {"Alert", "Update", "Cancel", "Ack", "Error"};
const QStringList kScope = {"Public", "Restricted", "Private"};
const QStringList kCategory = {"Geo",    "Met", "Safety",    "Security", "Rescue", "Fire",
                               "Health", "Env", "Transport", "Infra",    "CBRNE",  "Other"};
const QStringList kUrgency = {"Immediate", "Expected", "Future", "Past", "Unknown"};
const QStringList kSeverity = {"Extreme", "Severe", "Moderate", "Minor", "Unknown"};
const QStringList kCertainty = {"Observed", "Likely", "Possible", "Unlikely", "Unknown"};

const QStringList kResponseType = {"Shelter", "Evacuate", "Prepare",  "Execute", "Avoid",
                                   "Monitor", "Assess",   "AllClear", "None"};

struct Block {
    QHash<QString, QString> texts;
    // Elements that may repeat (category, responseType), in document order.
    QHash<QString, QStringList> lists;
};
struct AreaBlock : Block {
    QList<Block> geocodes;
};
struct InfoBlock : Block {
    QList<Block> eventCodes;
    QList<AreaBlock> areas;
};

QString quoted(const QString& value) {
    return CapError::quoted(value);
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
        m_preserve.append(preserve);
        if (m_path.size() > CapReader::kMaxDepth)
            refuse(QStringLiteral("%1 is nested %2 elements deep; a CAP alert needs no more than %3")
                       .arg(tag(m_path.back()))
                       .arg(m_path.size())
                       .arg(CapReader::kMaxDepth));

        if (m_path.size() == 1) {
            m_sawRoot = true;
            m_namespace = m_xml.namespaceUri().toString();
            m_cap.append(true);
            if (m_path[0] != u"alert" || !CapReader::isCapNamespace(m_namespace))
                refuse(QStringLiteral("the document is not a CAP alert: its root element is %1 in %2, not <alert> in "
                                      "the namespace of CAP 1.2 (%3) or CAP 1.1 (%4)")
                           .arg(tag(m_path[0]),
                                m_namespace.isEmpty() ? QStringLiteral("no namespace")
                                                      : QStringLiteral("the namespace ") + m_namespace,
                                CapReader::kNamespace, CapReader::kNamespace11));
            return;
        }
        m_cap.append(m_xml.namespaceUri() == m_namespace);
        // Only elements of the message's own CAP namespace, in CAP's own places, are read;
        // others (a signature, an extension) are passed over.
        for (bool cap : std::as_const(m_cap))
            if (!cap) return;
        const QString& name = m_path.back();
        const qsizetype depth = m_path.size();
        if (depth == 2) {
            if (name == u"info") {
                m_infos.append(InfoBlock{});
            } else if (kAlertTexts.contains(name)) {
                capture(&m_alert, name);
            }
            return;
        }
        if (m_path[1] != u"info") return;
        InfoBlock& info = m_infos.back();
        if (depth == 3) {
            if (name == u"area") {
                info.areas.append(AreaBlock{});
            } else if (name == u"eventCode") {
                info.eventCodes.append(Block{});
            } else if (name == u"category" || name == u"responseType") {
                capture(&info, name, true);
            } else if (kInfoTexts.contains(name)) {
                capture(&info, name);
            }
        } else if (depth == 4 && m_path[2] == u"eventCode") {
            if (kCodeTexts.contains(name)) capture(&info.eventCodes.back(), name);
        } else if (depth == 4 && m_path[2] == u"area") {
            if (name == u"geocode") {
                info.areas.back().geocodes.append(Block{});
            } else if (kAreaTexts.contains(name)) {
                capture(&info.areas.back(), name);
            }
        } else if (depth == 5 && m_path[2] == u"area" && m_path[3] == u"geocode") {
            if (kCodeTexts.contains(name)) capture(&info.areas.back().geocodes.back(), name);
        }
    }

    void endElement() {
        if (m_capture && m_path.size() == m_captureDepth) {
            const QString text = m_preserve.back() ? m_text : m_text.trimmed();
            if (m_captureList) {
                m_capture->lists[m_captureName].append(text);
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
    QString m_namespace;

    Block m_alert;
    QList<InfoBlock> m_infos;

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

QList<CapAlert::Code> codes(const QList<Block>& blocks, const QString& parent) {
    QList<CapAlert::Code> out;
    for (const Block& b : blocks)
        out.append({required(b, parent, QStringLiteral("valueName")), required(b, parent, QStringLiteral("value"))});
    return out;
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

    const QString infoName = QStringLiteral("info");
    for (const InfoBlock& block : m_infos) {
        CapAlert::Info info;
        info.categories = block.lists.value(QStringLiteral("category"));
        if (info.categories.isEmpty()) refuse(QStringLiteral("<info> has no <category>"));
        for (const QString& category : std::as_const(info.categories))
            oneOf(QStringLiteral("category"), category, kCategory);
        info.language = block.texts.value(QStringLiteral("language"));
        info.event = required(block, infoName, QStringLiteral("event"));
        info.responseTypes = block.lists.value(QStringLiteral("responseType"));
        for (const QString& response : std::as_const(info.responseTypes))
            oneOf(QStringLiteral("responseType"), response, kResponseType);
        info.urgency = required(block, infoName, QStringLiteral("urgency"));
        oneOf(QStringLiteral("urgency"), info.urgency, kUrgency);
        info.severity = required(block, infoName, QStringLiteral("severity"));
        oneOf(QStringLiteral("severity"), info.severity, kSeverity);
        info.certainty = required(block, infoName, QStringLiteral("certainty"));
        oneOf(QStringLiteral("certainty"), info.certainty, kCertainty);
        info.eventCodes = codes(block.eventCodes, QStringLiteral("eventCode"));
        for (const auto& [name, field] :
             {std::pair{"effective", &CapAlert::Info::effective}, std::pair{"onset", &CapAlert::Info::onset},
              std::pair{"expires", &CapAlert::Info::expires}}) {
            const auto it = block.texts.constFind(QLatin1String(name));
            if (it == block.texts.cend()) continue;
            capTime(QLatin1String(name), *it);
            info.*field = *it;
        }
        info.headline = block.texts.value(QStringLiteral("headline"));
        info.description = block.texts.value(QStringLiteral("description"));
        info.instruction = block.texts.value(QStringLiteral("instruction"));
        for (const AreaBlock& areaBlock : block.areas) {
            CapAlert::Area area;
            area.areaDesc = required(areaBlock, QStringLiteral("area"), QStringLiteral("areaDesc"));
            area.geocodes = codes(areaBlock.geocodes, QStringLiteral("geocode"));
            info.areas.append(area);
        }
        a.infos.append(info);
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
