#pragma once

#include "Connection.h"

namespace hv {

// How long the console waits for the database server. A table that another session holds locked
// (a backup, a long ALTER) ends a statement after kConsoleLockWaitSeconds with the server's own
// error, which the console treats as a server out of reach; a server that stops answering ends it
// after kConsoleReadSeconds. Nothing waits without a bound.
inline constexpr int kConsoleLockWaitSeconds = 10;
inline constexpr int kConsoleReadSeconds = 30;
inline constexpr int kConsoleWriteSeconds = 30;

// access: the console's own account and TLS from halvane.ini.
// foundRows: count the rows a change matched, not those it changed, so that saving a row unchanged
// is not mistaken for a row that vanished under the optimistic check.
inline ConnectionOptions consoleConnectionOptions(const DatabaseAccess& access, bool foundRows = false) {
    ConnectionOptions options;
    options.access = access;
    options.foundRows = foundRows;
    options.readTimeoutSeconds = kConsoleReadSeconds;
    options.writeTimeoutSeconds = kConsoleWriteSeconds;
    options.lockWaitSeconds = kConsoleLockWaitSeconds;
    return options;
}

} // namespace hv
