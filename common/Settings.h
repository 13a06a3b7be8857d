#pragma once

#include "DatabaseAccess.h"

#include <QByteArray>
#include <QString>

namespace hv {

// What halvane.ini holds on the lines after its first, which the first-line reader never sees.
// A line counts when it starts with a key exactly as written here (letter case and all); its value
// is the rest of the line without the line end. The first line of a key wins.
struct Settings {
    QString morvikUser;      // MORVIKUSER=: the tray client's account
    QString morvikPassword;  // MORVIKPASSWORD=
    QString halvaneUser;     // HALVANEUSER=: the console's account
    QString halvanePassword; // HALVANEPASSWORD=
    bool tls = false;        // any of the three keys below is present
    QString sslCa;           // MYSQLSSLCA=: the authority that signed the database server's certificate
    QString sslCert;         // MYSQLSSLCERT=: a client certificate, where the server asks for one
    QString sslKey;          // MYSQLSSLKEY=

    DatabaseAccess trayAccess() const;
    DatabaseAccess consoleAccess() const;
};

Settings settingsFromIniText(const QByteArray& content);

// Reads the file beside the program; relative certificate paths are taken from the file's own
// folder. A file that cannot be read gives no settings: the first-line reader has reported it.
Settings readSettings(const QString& iniPath);

} // namespace hv
