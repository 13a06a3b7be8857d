#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

namespace hv {

// A followed feed as this system reads it: an Atom feed (RFC 4287) whose entries carry a CAP alert
// in their <content> or link to one, an RSS 2.0 channel whose items link to one, or a single CAP
// alert. Refused (CapError) as CAP documents are: a document type declaration where it starts,
// nesting deeper than CapReader::kMaxDepth, XML that is not well-formed.
class CapIndex {
public:
    enum class Kind { Atom, Rss, Alert };

    struct Entry {
        // The CAP document to fetch, or empty when the entry carries its alert itself.
        QUrl link;
        // The CAP alert the entry carries, as a document of its own.
        QByteArray alert;
        // Atom's <updated> or RSS's <pubDate>, as written: a feed that changes an entry in place
        // says so there.
        QString updated;
        // Why the entry has nothing to take (no CAP alert and no link to one, a link that is not
        // http or https); empty when it has.
        QString problem;

        // The same from one fetch of the feed to the next, and different once the entry changed.
        QString key() const;
    };

    Kind kind = Kind::Atom;
    // In the feed's order, at most kMaxEntries.
    QList<Entry> entries;
    // How many entries the feed lists, kMaxEntries or more.
    int listed = 0;

    // More entries than any regional warning feed lists; each may cost a fetch.
    static constexpr int kMaxEntries = 500;
    // A feed with its alerts inline is larger than one alert, but not beyond this.
    static constexpr qint64 kMaxBytes = 4 * 1024 * 1024;

    // base: where the feed came from; relative links are taken from there. A feed fetched over
    // HTTPS may link only to HTTPS.
    static CapIndex read(const QByteArray& document, const QUrl& base);
};

} // namespace hv
