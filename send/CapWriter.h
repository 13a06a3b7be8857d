#pragma once

#include "CapAlert.h"

#include <QByteArray>
#include <QString>

class QXmlStreamWriter;

namespace hv {

// Writes CAP 1.2 alert messages that CapReader reads back to the same texts: whitespace at the
// ends of a text is kept with xml:space="preserve", and characters that XML 1.0 cannot carry
// become U+FFFD.
class CapWriter {
public:
    // One alert as a document of its own.
    static QByteArray document(const CapAlert& alert);
    // The <alert> element, in CAP's namespace declared on itself, so that it can be taken out of
    // a feed as it stands. The writer must not be inside an open start tag.
    static void writeAlert(QXmlStreamWriter& xml, const CapAlert& alert);
    // The text as XML 1.0 can carry it.
    static QString xmlSafe(const QString& text);
};

} // namespace hv
