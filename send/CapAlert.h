#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace hv {

// One CAP 1.2 alert message as this system reads and writes it: the <alert> block and its first
// <info> with that block's first <area>. Texts are as the document holds them, whitespace at either
// end already dropped unless the document asked to keep it (xml:space="preserve").
struct CapAlert {
    // An earlier message named in <references>: "sender,identifier,sent".
    struct Reference {
        QString sender;
        QString identifier;
        QString sent;
        bool operator==(const Reference&) const = default;
    };

    QString identifier;
    QString sender;
    QString sent; // the CAP time form, as written
    QString status;
    QString msgType;
    QString scope;
    QList<Reference> references;

    // The first <info>; infoCount says whether there was one.
    int infoCount = 0;
    QStringList categories;
    QString event;
    QString urgency;
    QString severity;
    QString certainty;
    QString headline;
    QString description;
    QString instruction;
    // The first <area> of the first <info>; areaCount says whether there was one.
    int areaCount = 0;
    QString areaDesc;

    bool operator==(const CapAlert&) const = default;
};

} // namespace hv
