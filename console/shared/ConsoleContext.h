#pragma once

#include "ConnectionString.h"
#include "DatabaseAccess.h"
#include "Ports.h"
#include "ServerList.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace hv {

class DatabaseRunner;
class PrinterPort;

// What every console window needs from the program: the ports to the outside world and the
// servers that the main window read from halvane.ini at load.
struct ConsoleContext {
    ConsoleContext(MessagePort& msg, ExitPort& exit, Clock& clock, PrinterPort* printer = nullptr,
                   QString strDataPath = {}, DatabaseRunner* db = nullptr)
        : msg(msg), exit(exit), clock(clock), printer(printer), strDataPath(std::move(strDataPath)), db(db) {}

    MessagePort& msg;
    ExitPort& exit;
    Clock& clock;
    // The default printer as the reports and the viewer see it; set by the program (and tests).
    PrinterPort* printer = nullptr;
    QString strDataPath;
    // The further nodes of a database cluster, from the lines after halvane.ini's first.
    QStringList furtherServers;
    // The console's own account and TLS, read from halvane.ini with strDataPath.
    DatabaseAccess access;
    // Where the statements run; unset, on the console's own database thread.
    DatabaseRunner* db = nullptr;

    // Every node, the one that last worked first; it remembers that across all the console's
    // operations for as long as the servers stay the same.
    ServerList servers() const;
    DatabaseRunner& database() const;

private:
    mutable std::optional<ServerList> m_servers;
};

} // namespace hv
