#pragma once

#include "DatabaseAccess.h"

#include <QByteArray>
#include <QString>

namespace hv {

// What halvane-send takes from halvane.ini: the database server from the first line, read exactly
// as the console and the tray client read it, and from a later line "CAPSENDER=name", the CAP
// <sender> that names this site in exported alerts. The first-line reader of the other programs
// never looks past the first line, so the setting is invisible to them.
struct SendSettings {
    QString host;
    QString capSender; // empty when halvane.ini has no CAPSENDER= line
    // The command stores alerts as the console does, with the console's account and TLS.
    DatabaseAccess access;

    // Failure 53 when the file is missing, 62 when it is empty, 75 when it cannot be read.
    static SendSettings read(const QString& path);

    static QString capSenderFromIniText(const QByteArray& content);

    // The sender of exported alerts: the setting, else halvane@ and the database server's name,
    // which every computer of one site shares.
    QString sender() const;
};

} // namespace hv
