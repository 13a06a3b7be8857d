#include "CapFeed.h"

#include "CapTime.h"
#include "CapWriter.h"

#include <QIODevice>
#include <QUuid>

namespace hv {

namespace {

const QString kAtom = QStringLiteral("http://www.w3.org/2005/Atom");
// The namespace of this system's name-based UUIDs.
const QUuid kHalvaneUuids = QUuid::createUuidV5(QUuid(), QStringLiteral("halvane.alerts"));

void atomText(QXmlStreamWriter& xml, const QString& name, const QString& value) {
    xml.writeTextElement(kAtom, name, CapWriter::xmlSafe(value));
}

} // namespace

QString CapFeed::feedId(const QString& sender) {
    return QStringLiteral("urn:uuid:") + QUuid::createUuidV5(kHalvaneUuids, sender).toString(QUuid::WithoutBraces);
}

QString CapFeed::entryId(const QString& sender, const QString& identifier) {
    // A comma never occurs in either (CAP forbids it), so the pair is unambiguous.
    return QStringLiteral("urn:uuid:") +
           QUuid::createUuidV5(kHalvaneUuids, sender + u',' + identifier).toString(QUuid::WithoutBraces);
}

CapFeed::CapFeed(QIODevice* out, QString sender, const QDateTime& now) : m_xml(out), m_sender(std::move(sender)) {
    m_xml.setAutoFormatting(true);
    m_xml.writeStartDocument();
    m_xml.writeDefaultNamespace(kAtom);
    m_xml.writeStartElement(kAtom, QStringLiteral("feed"));
    atomText(m_xml, QStringLiteral("id"), feedId(m_sender));
    atomText(m_xml, QStringLiteral("title"), QStringLiteral("Halvane alerts from ") + m_sender);
    atomText(m_xml, QStringLiteral("updated"), captime::format(now));
    m_xml.writeStartElement(kAtom, QStringLiteral("author"));
    atomText(m_xml, QStringLiteral("name"), m_sender);
    m_xml.writeEndElement();
    atomText(m_xml, QStringLiteral("generator"), QStringLiteral("halvane-send"));
}

void CapFeed::add(const CapAlert& alert) {
    m_xml.writeStartElement(kAtom, QStringLiteral("entry"));
    atomText(m_xml, QStringLiteral("id"), entryId(alert.sender, alert.identifier));
    QString title;
    if (!alert.infos.isEmpty()) {
        const CapAlert::Info& info = alert.infos.front();
        title = info.event;
        if (!info.areas.isEmpty()) title += QStringLiteral(" - ") + info.areas.front().areaDesc;
    }
    atomText(m_xml, QStringLiteral("title"), title);
    // CAP's time form is also RFC 3339's.
    atomText(m_xml, QStringLiteral("updated"), alert.sent);
    m_xml.writeStartElement(kAtom, QStringLiteral("content"));
    m_xml.writeAttribute(QStringLiteral("type"), QStringLiteral("application/cap+xml"));
    // Ends the open start tag, so that the alert's namespace goes on <alert> and not on <content>.
    m_xml.writeCharacters(QString());
    CapWriter::writeAlert(m_xml, alert);
    m_xml.writeEndElement();
    m_xml.writeEndElement();
}

bool CapFeed::finish() {
    m_xml.writeEndElement();
    m_xml.writeEndDocument();
    return !m_xml.hasError();
}

} // namespace hv
