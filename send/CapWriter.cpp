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
    if (a.infoCount > 0) {
        xml.writeStartElement(CapReader::kNamespace, QStringLiteral("info"));
        for (const QString& category : a.categories)
            text(xml, QStringLiteral("category"), category);
        text(xml, QStringLiteral("event"), a.event);
        text(xml, QStringLiteral("urgency"), a.urgency);
        text(xml, QStringLiteral("severity"), a.severity);
        text(xml, QStringLiteral("certainty"), a.certainty);
        optionalText(xml, QStringLiteral("headline"), a.headline);
        optionalText(xml, QStringLiteral("description"), a.description);
        optionalText(xml, QStringLiteral("instruction"), a.instruction);
        if (a.areaCount > 0) {
            xml.writeStartElement(CapReader::kNamespace, QStringLiteral("area"));
            text(xml, QStringLiteral("areaDesc"), a.areaDesc);
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
