#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace hv {

// One CAP alert message (1.1 or 1.2) as this system reads and writes it: the <alert> block with
// every <info> and every <area> of each. Texts are as the document holds them, whitespace at either
// end already dropped unless the document asked to keep it (xml:space="preserve").
struct CapAlert {
    // An earlier message named in <references>: "sender,identifier,sent". The three name a
    // message on every system that has seen it, the sent time exactly as it was written.
    struct Reference {
        QString sender;
        QString identifier;
        QString sent;
        bool operator==(const Reference&) const = default;
    };
    // <eventCode> and <geocode>: a code of some system (valueName, for example SAME or FIPS6)
    // and its value.
    struct Code {
        QString valueName;
        QString value;
        bool operator==(const Code&) const = default;
    };
    struct Area {
        QString areaDesc;
        QList<Code> geocodes;
        bool operator==(const Area&) const = default;
    };
    struct Info {
        QString language; // empty when the document gives none (CAP then means en-US)
        QStringList categories;
        QString event;
        QStringList responseTypes;
        QString urgency;
        QString severity;
        QString certainty;
        QList<Code> eventCodes;
        // CAP times as written; empty when not given.
        QString effective;
        QString onset;
        QString expires;
        QString headline;
        QString description;
        QString instruction;
        QList<Area> areas;
        bool operator==(const Info&) const = default;
    };

    QString identifier;
    QString sender;
    QString sent; // the CAP time form, as written
    QString status;
    QString msgType;
    QString scope;
    QList<Reference> references;
    QList<Info> infos;

    // The message as a reference names it: sender,identifier,sent.
    Reference key() const { return {sender, identifier, sent}; }

    bool operator==(const CapAlert&) const = default;
};

} // namespace hv
