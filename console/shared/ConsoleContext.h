#pragma once

#include "ConnectionString.h"
#include "DatabaseAccess.h"
#include "Ports.h"
#include "ServerList.h"
#include "shared/ConsoleDatabase.h"
#include "shared/WakeSender.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace hv {

class PrinterPort;

// What every console window needs from the program: the ports to the outside world and the
// servers that the main window read from halvane.ini at load.
struct ConsoleContext {
    ConsoleContext(MessagePort& msg, ExitPort& exit, Clock& clock, PrinterPort* printer = nullptr,
                   QString strDataPath = {})
        : msg(msg), exit(exit), clock(clock), printer(printer), strDataPath(std::move(strDataPath)) {}
    // The database threads refer to this context.
    ConsoleContext(const ConsoleContext&) = delete;
    ConsoleContext& operator=(const ConsoleContext&) = delete;

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

    // Every node, the one that last worked first; it remembers that across all the console's
    // operations for as long as the servers stay the same.
    ServerList servers() const;
    // Where every statement runs, aimed at servers() with the console's access.
    ConsoleDatabase& database() { return m_database; }
    // Where the workstations hear at once of what was submitted or cancelled; set up by the main
    // window from halvane.ini, and nowhere without a broker.
    WakeSender& wake() { return m_wake; }

private:
    mutable std::optional<ServerList> m_servers;
    WakeSender m_wake;
    ConsoleDatabase m_database{[this] { return ConsoleDatabase::Target{servers(), access}; }};
};

} // namespace hv
