#pragma once

#include "DatabaseAccess.h"
#include "IniSettings.h"
#include "ServerList.h"
#include "WakeSettings.h"

#include <QString>
#include <QStringList>

namespace hv {

// What halvane-send takes from halvane.ini (read once, by the same reader as the console's and
// the tray client's): the database servers, the console's account and TLS, and CAPSENDER=, the
// CAP <sender> that names this site in exported alerts.
struct SendSettings {
    QString host;
    // The further nodes of a database cluster, from "MYSQLSERVERNAME=" lines after the first.
    QStringList furtherServers;
    QString capSender; // empty when halvane.ini has no CAPSENDER= line
    // The command stores alerts as the console does, with the console's account and TLS.
    DatabaseAccess access;
    // The site's brokers and the console's account on them; none: nothing is published.
    WakeSettings wake;

    static SendSettings from(const IniSettings& ini);

    ServerList servers() const;
    // The sender of exported alerts: the setting, else halvane@ and the database server's name,
    // which every computer of one site shares.
    QString sender() const;
};

} // namespace hv
