#pragma once

#include "DatabaseAccess.h"

#include <QString>

// A second private server as a site that closed the root account would run it: TLS required with
// a certificate of its own authority, the programs' accounts made by db/accounts, and no root login
// over the network (root reaches it only through its local socket). It listens on 127.0.0.9 beside
// the run's own server, keeps its data beside the run's state, and stops with the object; the run's
// cleanup stops it too, should a test die before that.
class SecureServer {
public:
    SecureServer();
    ~SecureServer();
    SecureServer(const SecureServer&) = delete;
    SecureServer& operator=(const SecureServer&) = delete;

    // Starts it with a fresh schema and the two accounts; the reason on failure.
    bool start(QString* error);
    void stop();
    // Starts it again (its data kept) presenting another certificate of its folder of certificates
    // ("server" is its own; "elsewhere", "other-ca-server", "client" are for tests that must be
    // refused).
    bool present(const QString& certificate, QString* error);

    static QString host() { return QStringLiteral("127.0.0.9"); }
    static QString trayUser() { return QStringLiteral("halvane_tray"); }
    static QString trayPassword() { return QStringLiteral("Tray'Pass\\word 7"); }
    static QString consoleUser() { return QStringLiteral("halvane_console"); }
    static QString consolePassword() { return QStringLiteral("Console=Pass;9"); }

    QString stateDir() const { return m_state; }
    // The server's authority, a client certificate it signed, and an authority that signed nothing here.
    QString tlsFile(const QString& name) const;
    QString caFile() const { return tlsFile(QStringLiteral("ca.pem")); }

    // The accounts as halvane.ini would give them, with this server's authority.
    hv::DatabaseAccess trayAccess() const;
    hv::DatabaseAccess consoleAccess() const;

    // A statement as the server's root, over its local socket.
    void adminExec(const QString& sql) const;
    QVariant adminScalar(const QString& sql) const;

    // Creates the two accounts on a server with db/accounts through the given client options.
    static bool makeAccounts(const QStringList& clientOptions, QString* error);

private:
    bool script(const QStringList& args, QString* error) const;

    QString m_state;
    QString m_presented = QStringLiteral("server");
    bool m_started = false;
};
