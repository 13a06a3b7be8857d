#pragma once

#include "Connection.h"
#include "SiteFacts.h"

#include <QString>

namespace hv {

// The statement as sent with a bound on the server's work, waiting for a lock included. Measured
// against MariaDB 10.11 with the table locked by another session: the client's read time-out
// drops the connection and leaves the server's thread waiting for the lock; max_statement_time
// ends the wait on the server with its own error (1969) and keeps the connection. As a prefix it
// costs no extra round trip, and as an executable comment (MariaDB 10.1.2 and later) any other
// server skips it.
inline QString boundedStatement(int seconds, const QString& statement) {
    return QStringLiteral("/*M!100102 SET STATEMENT max_statement_time=%1 FOR */ ").arg(seconds) + statement;
}

// How long the console and halvane-send wait for the database server: see SiteFacts.h.

// access: the console's own account and TLS from halvane.ini.
// foundRows: count the rows a change matched, not those it changed, so that saving a row unchanged
// is not mistaken for a row that vanished under the optimistic check.
inline ConnectionOptions consoleConnectionOptions(const DatabaseAccess& access, bool foundRows = false) {
    ConnectionOptions options;
    options.access = access;
    options.foundRows = foundRows;
    options.readTimeoutSeconds = site::kConsoleReadSeconds;
    options.writeTimeoutSeconds = site::kConsoleWriteSeconds;
    options.lockWaitSeconds = site::kConsoleLockWaitSeconds;
    return options;
}

} // namespace hv
