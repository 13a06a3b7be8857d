#pragma once

#include <QString>
#include <QStringList>

namespace hv {

// The account a program logs in with and how its connections are protected, as halvane.ini sets
// them on the lines after the first. Left empty, a program logs in with the fixed root account
// (ConnectionString.h) over plain TCP, as it always has.
struct DatabaseAccess {
    // Empty: the fixed user and password.
    QString user;
    QString password;
    // Every connection encrypted, and the server's certificate must chain to the authority in
    // sslCa. Set by any of the TLS keys, so that a half-written setting never means plain text.
    bool tls = false;
    QString sslCa;
    // A client certificate and its key, for servers that ask for one.
    QString sslCert;
    QString sslKey;

    // The client library's TLS options. Failure CannotOpen, before anything goes on the wire,
    // when a file is missing or unreadable (the library would connect without it) or when a path
    // cannot be handed over intact (the option string splits at ';' and trims blanks).
    QStringList tlsConnectOptions() const;
};

} // namespace hv
