#pragma once

#include "CapAlert.h"

#include <QDateTime>
#include <QString>
#include <QXmlStreamWriter>

class QIODevice;

namespace hv {

// The logged alerts as an Atom feed (RFC 4287) whose entries each carry one whole CAP 1.2 alert
// as their content: one well-formed document however many alerts it holds, which signage,
// public-address gateways and CAP aggregators poll as they poll any alert feed. Entries are
// written as they come, so that a long log never has to be held.
class CapFeed {
public:
    // sender names the site; now dates the feed.
    CapFeed(QIODevice* out, QString sender, const QDateTime& now);

    void add(const CapAlert& alert);
    // Closes the feed; false when anything could not be written.
    bool finish();

    // The feed's and an entry's Atom id: name-based UUIDs, so that the same site and alert give
    // the same id in every export.
    static QString feedId(const QString& sender);
    static QString entryId(const QString& sender, const QString& identifier);

private:
    QXmlStreamWriter m_xml;
    QString m_sender;
};

} // namespace hv
