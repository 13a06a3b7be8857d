#include "CapWriter.h"

#include "CapReader.h"

#include <QBuffer>
#include <QXmlStreamWriter>

namespace hv {

namespace {

void text(QXmlStreamWriter& xml, const QString& name, const QString& value) {
    const QString safe = CapWriter::xmlSafe(value);
    xml.writeStartElement(CapReader::kNamespace, name);
    if (safe != safe.trimmed())
        xml.writeAttribute(QStringLiteral("http://www.w3.org/XML/1998/namespace"), QStringLiteral("space"),
                           QStringLiteral("preserve"));
    // A carriage return written as it is would come back as a line feed; as a character
    // reference it comes back as itself.
    const QStringList pieces = safe.split(u'\r');
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0) xml.writeEntityReference(QStringLiteral("#13"));
        if (!pieces[i].isEmpty()) xml.writeCharacters(pieces[i]);
    }
    xml.writeEndElement();
}

void optionalText(QXmlStreamWriter& xml, const QString& name, const QString& value) {
    if (!value.isEmpty()) text(xml, name, value);
}

void codes(QXmlStreamWriter& xml, const QString& name, const QList<CapAlert::Code>& values) {
    for (const CapAlert::Code& code : values) {
        xml.writeStartElement(CapReader::kNamespace, name);
        text(xml, QStringLiteral("valueName"), code.valueName);
        text(xml, QStringLiteral("value"), code.value);
        xml.writeEndElement();
    }
}

} // namespace

QString CapWriter::xmlSafe(const QString& text) {
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const char16_t c = out[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < out.size() && QChar::isLowSurrogate(out[i + 1].unicode())) {
            ++i;
            continue;
        }
        const bool allowed = c == u'\t' || c == u'\n' || c == u'\r' || (c >= 0x20 && c < 0xD800) ||
                             (c >= 0xE000 && c != 0xFFFE && c != 0xFFFF);
        if (!allowed) out[i] = QChar::ReplacementCharacter;
    }
    return out;
}

void CapWriter::writeAlert(QXmlStreamWriter& xml, const CapAlert& a) {
    // Declared before the element starts, the namespace becomes the default on <alert> itself.
    xml.writeDefaultNamespace(CapReader::kNamespace);
    xml.writeStartElement(CapReader::kNamespace, QStringLiteral("alert"));
    text(xml, QStringLiteral("identifier"), a.identifier);
    text(xml, QStringLiteral("sender"), a.sender);
    text(xml, QStringLiteral("sent"), a.sent);
    text(xml, QStringLiteral("status"), a.status);
    text(xml, QStringLiteral("msgType"), a.msgType);
    text(xml, QStringLiteral("scope"), a.scope);
    if (!a.references.isEmpty()) {
        QStringList triples;
        for (const CapAlert::Reference& r : a.references)
            triples << r.sender + u',' + r.identifier + u',' + r.sent;
        text(xml, QStringLiteral("references"), triples.join(u' '));
    }
    for (const CapAlert::Info& info : a.infos) {
        // In the order of CAP's schema.
        xml.writeStartElement(CapReader::kNamespace, QStringLiteral("info"));
        optionalText(xml, QStringLiteral("language"), info.language);
        for (const QString& category : info.categories)
            text(xml, QStringLiteral("category"), category);
        text(xml, QStringLiteral("event"), info.event);
        for (const QString& response : info.responseTypes)
            text(xml, QStringLiteral("responseType"), response);
        text(xml, QStringLiteral("urgency"), info.urgency);
        text(xml, QStringLiteral("severity"), info.severity);
        text(xml, QStringLiteral("certainty"), info.certainty);
        codes(xml, QStringLiteral("eventCode"), info.eventCodes);
        optionalText(xml, QStringLiteral("effective"), info.effective);
        optionalText(xml, QStringLiteral("onset"), info.onset);
        optionalText(xml, QStringLiteral("expires"), info.expires);
        optionalText(xml, QStringLiteral("headline"), info.headline);
        optionalText(xml, QStringLiteral("description"), info.description);
        optionalText(xml, QStringLiteral("instruction"), info.instruction);
        for (const CapAlert::Area& area : info.areas) {
            xml.writeStartElement(CapReader::kNamespace, QStringLiteral("area"));
            text(xml, QStringLiteral("areaDesc"), area.areaDesc);
            codes(xml, QStringLiteral("geocode"), area.geocodes);
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

QByteArray CapWriter::document(const CapAlert& alert) {
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter xml(&buffer);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    writeAlert(xml, alert);
    xml.writeEndDocument();
    return out;
}

} // namespace hv
