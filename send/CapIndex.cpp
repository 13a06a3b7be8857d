#include "CapIndex.h"

#include "CapError.h"
#include "CapReader.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <memory>

namespace hv {

namespace {

const QString kAtom = QStringLiteral("http://www.w3.org/2005/Atom");
const QString kCapType = QStringLiteral("application/cap+xml");

[[noreturn]] void refuse(const QString& reason) {
    throw CapError(reason);
}

// A link or enclosure typed as a CAP document (parameters such as a charset aside).
bool isCap(const QXmlStreamAttributes& a) {
    return a.value(QStringLiteral("type"))
               .toString()
               .section(u';', 0, 0)
               .trimmed()
               .compare(kCapType, Qt::CaseInsensitive) == 0;
}

QString tag(QStringView name) {
    return u'<' + name.toString() + u'>';
}

// One entry as it is read: its links, whatever texts it has, and an inline alert.
struct Draft {
    QString capLink;   // a link typed as CAP
    QString plainLink; // Atom's alternate link, RSS's <link>
    QString updated;
    QByteArray alert;
};

class Parse {
public:
    Parse(const QByteArray& document, const QUrl& base) : m_xml(document), m_base(base) {}

    CapIndex run() {
        while (!m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::DTD:
                refuse(QStringLiteral("the feed has a <!DOCTYPE> declaration, which no alert feed needs (its entities "
                                      "are neither expanded nor fetched)"));
            case QXmlStreamReader::EntityReference:
                refuse(QStringLiteral("the feed uses the undeclared entity &%1;").arg(m_xml.name()));
            case QXmlStreamReader::StartElement:
                startElement();
                break;
            case QXmlStreamReader::EndElement:
                endElement();
                break;
            case QXmlStreamReader::Characters:
                if (m_capture && m_path.size() == m_captureDepth) *m_capture += m_xml.text();
                break;
            default:
                break;
            }
            if (m_out.kind == CapIndex::Kind::Alert) break;
        }
        if (m_xml.hasError() && !m_sawRoot && m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
            refuse(QStringLiteral("the feed is empty"));
        if (m_xml.hasError())
            refuse(QStringLiteral("the feed is not well-formed XML (line %1, column %2: %3)")
                       .arg(m_xml.lineNumber())
                       .arg(m_xml.columnNumber())
                       .arg(m_xml.errorString()));
        return m_out;
    }

private:
    void startElement() {
        m_path.append(m_xml.name().toString());
        if (m_path.size() > CapReader::kMaxDepth)
            refuse(QStringLiteral("%1 is nested %2 elements deep; an alert feed needs no more than %3")
                       .arg(tag(m_path.back()))
                       .arg(m_path.size())
                       .arg(CapReader::kMaxDepth));
        const QStringView ns = m_xml.namespaceUri();
        const QStringView name = m_xml.name();
        const qsizetype depth = m_path.size();

        if (depth == 1) {
            m_sawRoot = true;
            if (name == u"feed" && ns == kAtom) {
                m_out.kind = CapIndex::Kind::Atom;
            } else if (name == u"rss" && ns.isEmpty()) {
                m_out.kind = CapIndex::Kind::Rss;
            } else if (name == u"alert" && CapReader::isCapNamespace(ns)) {
                m_out.kind = CapIndex::Kind::Alert;
            } else {
                refuse(QStringLiteral("the feed is not an Atom feed, an RSS 2.0 channel or a CAP alert: its root "
                                      "element is %1 in %2")
                           .arg(tag(name), ns.isEmpty() ? QStringLiteral("no namespace")
                                                        : QStringLiteral("the namespace ") + ns.toString()));
            }
            return;
        }

        if (m_out.kind == CapIndex::Kind::Atom) {
            if (depth == 2 && name == u"entry" && ns == kAtom) {
                beginEntry();
            } else if (m_entry && depth == 3 && ns == kAtom) {
                const QXmlStreamAttributes a = m_xml.attributes();
                if (name == u"link") {
                    const QString href = a.value(QStringLiteral("href")).toString();
                    const QStringView rel = a.value(QStringLiteral("rel"));
                    if (isCap(a) && m_entry->capLink.isEmpty())
                        m_entry->capLink = href;
                    else if ((rel.isEmpty() || rel == u"alternate") && m_entry->plainLink.isEmpty())
                        m_entry->plainLink = href;
                } else if (name == u"content") {
                    // Content kept elsewhere (RFC 4287 4.1.3.2).
                    const QString src = a.value(QStringLiteral("src")).toString();
                    if (!src.isEmpty() && m_entry->capLink.isEmpty()) m_entry->capLink = src;
                } else if (name == u"updated") {
                    capture(&m_entry->updated);
                }
            } else if (m_entry && depth == 4 && m_path[2] == u"content" && name == u"alert" &&
                       CapReader::isCapNamespace(ns) && m_entry->alert.isEmpty()) {
                copyAlert();
            }
        } else if (m_out.kind == CapIndex::Kind::Rss) {
            if (depth == 3 && m_path[1] == u"channel" && name == u"item" && ns.isEmpty()) {
                beginEntry();
            } else if (m_entry && depth == 4 && ns.isEmpty()) {
                if (name == u"link") {
                    capture(&m_entry->plainLink);
                } else if (name == u"pubDate") {
                    capture(&m_entry->updated);
                } else if (name == u"enclosure") {
                    const QXmlStreamAttributes a = m_xml.attributes();
                    if (isCap(a) && m_entry->capLink.isEmpty())
                        m_entry->capLink = a.value(QStringLiteral("url")).toString();
                }
            }
        }
    }

    void endElement() {
        if (m_capture && m_path.size() == m_captureDepth) m_capture = nullptr;
        const qsizetype depth = m_path.size();
        if (m_entry &&
            ((m_out.kind == CapIndex::Kind::Atom && depth == 2) || (m_out.kind == CapIndex::Kind::Rss && depth == 3)))
            endEntry();
        m_path.removeLast();
    }

    void capture(QString* text) {
        text->clear();
        m_capture = text;
        m_captureDepth = m_path.size();
    }

    void beginEntry() {
        ++m_out.listed;
        // Counted on, so that the log can say how many were passed over; not kept.
        if (m_out.entries.size() < CapIndex::kMaxEntries) m_entry = std::make_unique<Draft>();
    }

    void endEntry() {
        CapIndex::Entry e;
        e.updated = m_entry->updated.trimmed();
        if (!m_entry->alert.isEmpty()) {
            e.alert = m_entry->alert;
        } else {
            const QString href = (m_entry->capLink.isEmpty() ? m_entry->plainLink : m_entry->capLink).trimmed();
            if (href.isEmpty()) {
                e.problem = QStringLiteral("the entry has neither a CAP alert in its content nor a link to one");
            } else {
                e.link = m_base.resolved(QUrl(href));
                const QString scheme = e.link.scheme().toLower();
                if (!e.link.isValid() || (scheme != u"http" && scheme != u"https")) {
                    e.problem = QStringLiteral("the entry links to %1, which is not an http or https address")
                                    .arg(CapError::quoted(href));
                    e.link.clear();
                } else if (m_base.scheme().toLower() == u"https" && scheme != u"https") {
                    e.problem = QStringLiteral("the entry links to %1 without HTTPS, from a feed read over HTTPS")
                                    .arg(CapError::quoted(href));
                    e.link.clear();
                }
            }
            if (!e.problem.isEmpty()) e.updated += u'\n' + href;
        }
        m_out.entries.append(e);
        m_entry.reset();
    }

    // The alert and everything inside it, as a document of its own. Namespaces declared further
    // out (on the feed) are declared again where the copy needs them.
    void copyAlert() {
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        QXmlStreamWriter copy(&buffer);
        copy.writeStartDocument();
        copy.writeCurrentToken(m_xml);
        const qsizetype top = m_path.size();
        while (!m_xml.atEnd()) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            if (token == QXmlStreamReader::EntityReference)
                refuse(QStringLiteral("the feed uses the undeclared entity &%1;").arg(m_xml.name()));
            if (token == QXmlStreamReader::Invalid) return; // the main loop says what is wrong
            if (token == QXmlStreamReader::StartElement) {
                m_path.append(m_xml.name().toString());
                if (m_path.size() > CapReader::kMaxDepth)
                    refuse(QStringLiteral("%1 is nested %2 elements deep; an alert feed needs no more than %3")
                               .arg(tag(m_path.back()))
                               .arg(m_path.size())
                               .arg(CapReader::kMaxDepth));
            }
            copy.writeCurrentToken(m_xml);
            if (token == QXmlStreamReader::EndElement) {
                m_path.removeLast();
                if (m_path.size() < top) break;
            }
            // CapReader refuses it by its size; the rest of it is passed over as any other element.
            if (out.size() > CapReader::kMaxDocumentBytes) break;
        }
        copy.writeEndDocument();
        m_entry->alert = out;
    }

    QXmlStreamReader m_xml;
    QUrl m_base;
    QStringList m_path;
    bool m_sawRoot = false;
    CapIndex m_out;
    std::unique_ptr<Draft> m_entry;
    QString* m_capture = nullptr;
    qsizetype m_captureDepth = 0;
};

} // namespace

QString CapIndex::Entry::key() const {
    if (!alert.isEmpty())
        return QStringLiteral("alert ") +
               QString::fromLatin1(QCryptographicHash::hash(alert, QCryptographicHash::Sha256).toHex());
    if (!problem.isEmpty()) return QStringLiteral("problem ") + problem + u'\n' + updated;
    return QStringLiteral("link ") + link.toString() + u'\n' + updated;
}

CapIndex CapIndex::read(const QByteArray& document, const QUrl& base) {
    if (document.size() > kMaxBytes) refuse(QStringLiteral("the feed is larger than %1 bytes").arg(kMaxBytes));
    Parse parse(document, base);
    CapIndex index = parse.run();
    if (index.kind == Kind::Alert) {
        index.entries = {Entry{{}, document, {}, {}}};
        index.listed = 1;
    }
    return index;
}

} // namespace hv
