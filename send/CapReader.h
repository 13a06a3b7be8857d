#pragma once

#include "CapAlert.h"

#include <QByteArray>
#include <QString>

class QIODevice;

namespace hv {

// Reads one CAP alert message, 1.2 or 1.1 (the namespace of its root element says which; for what
// this system reads the two are the same), and checks what the standard requires of it: the
// elements that must be there, their fixed values and CAP's time form, in every <info> and every
// <area>. Anything else, or anything hostile, leaves as CapError with a reason that names the
// element.
//
// Hostile documents are refused before they cost anything: the document is read only up to its
// bound; a document type declaration (where entity expansion and external entities live) is
// refused where it starts, so no entity is ever expanded or fetched; nesting deeper than any CAP
// message needs is refused at the element that goes too deep.
class CapReader {
public:
    // What this system writes.
    static inline const QString kNamespace = QStringLiteral("urn:oasis:names:tc:emergency:cap:1.2");
    // What many public feeds still publish.
    static inline const QString kNamespace11 = QStringLiteral("urn:oasis:names:tc:emergency:cap:1.1");
    // Far above any alert message that carries no inline resource; 1 MiB.
    static constexpr qint64 kMaxDocumentBytes = 1024 * 1024;
    // alert/info/area/geocode/value is as deep as CAP goes.
    static constexpr int kMaxDepth = 16;

    // The whole document from the device, reading (from an unbuffered device) at most one byte
    // beyond the bound; a larger document is refused there.
    static QByteArray readDocument(QIODevice& in);

    static CapAlert parse(const QByteArray& document);

    static bool isCapNamespace(QStringView uri) { return uri == kNamespace || uri == kNamespace11; }
};

} // namespace hv
