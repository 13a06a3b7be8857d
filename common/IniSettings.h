#pragma once

#include "DatabaseAccess.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace hv {

// Everything halvane.ini says, read once when a program starts (fncReadINI in IniFile.h).
//
// The first line is the database server's host name, read as it always has been: the first
// comma-delimited field of the line, trimmed, from its 17th character on; its key is never
// compared and it is never a setting.
//
// Every further line is read by one rule:
// - blanks (spaces and tabs) around the line are dropped; a CR before the LF is dropped, as is a
//   UTF-8 byte-order mark at the start of the file;
// - an empty line, and a line whose first character is '#' or ';', says nothing;
// - otherwise the line is KEY=value: the key is compared without regard to letter case, blanks
//   around the '=' are dropped, and a value that starts with a double quote must end with one and
//   loses both (so that blanks at its ends can be kept);
// - the first line of a key wins; MYSQLSERVERNAME lines each add a node instead, read up to a
//   comma as on the first line, and a host already named (in any letter case) is left out;
// - a relative certificate path is taken from the folder of the real file (links resolved).
//
// A line that looks meant for one of the keys but is not read (no '=' after the key, a key spelt
// nearly right, a second different value for a key, an open quote, a control character, a host
// line without a host) is reported in problems, never left out without a word. Other lines (keys
// of later versions, notes) say nothing.
struct IniSettings {
    struct Problem {
        int line = 0; // counted from 1, as an editor counts
        QString text; // one sentence for the administrator
        bool operator==(const Problem&) const = default;
    };

    QString strDataPath;        // the first line
    QStringList furtherServers; // MYSQLSERVERNAME= on the lines after the first: further cluster nodes
    QString morvikUser;         // MORVIKUSER=: the tray client's account
    QString morvikPassword;     // MORVIKPASSWORD=
    QString halvaneUser;        // HALVANEUSER=: the console's (and halvane-send's) account
    QString halvanePassword;    // HALVANEPASSWORD=
    // Set by any of the three certificate keys written right, even with an empty value or one that
    // is reported and not read, so that a half-written setting never means plain text.
    bool tls = false;
    QString sslCa;     // MYSQLSSLCA=: the authority that signed the database servers' certificates
    QString sslCert;   // MYSQLSSLCERT=: a client certificate, where the server asks for one
    QString sslKey;    // MYSQLSSLKEY=
    QString capSender; // CAPSENDER=: the <sender> of exported CAP alerts (halvane-send)

    // The wake-up channel. MQTTSERVERNAME= lines each add a broker, "host" or "host:port", in the
    // order they are tried; without one every program only polls, as it always did.
    QStringList mqttServers;
    QString morvikMqttUser;      // MORVIKMQTTUSER=: the tray client's broker account (subscribes)
    QString morvikMqttPassword;  // MORVIKMQTTPASSWORD=
    QString halvaneMqttUser;     // HALVANEMQTTUSER=: the console's and halvane-send's (publish)
    QString halvaneMqttPassword; // HALVANEMQTTPASSWORD=
    // Set by MQTTSSLCA written right, whatever its value, as the database's certificate keys are.
    bool mqttTls = false;
    QString mqttSslCa; // MQTTSSLCA=: the authority that signed the brokers' certificates
    QString mqttSite;  // MQTTSITE=: the site's name on a broker that several sites share

    QList<Problem> problems;

    DatabaseAccess trayAccess() const;
    DatabaseAccess consoleAccess() const;

    // One line per problem, "path, line N: text", for a program's standard error.
    QStringList problemLines(const QString& path) const;
    // The same as warnings (standard error), for the programs with windows: a box would stop a
    // workstation's start for what is no failure.
    void warnAboutProblems(const QString& path) const;

    // The rules above over the file's bytes. folder: where relative certificate paths lie; empty,
    // they stay as written.
    static IniSettings fromText(const QByteArray& content, const QString& folder = {});
};

} // namespace hv
