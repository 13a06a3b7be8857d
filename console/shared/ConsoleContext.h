#pragma once

#include "ConnectionString.h"
#include "DatabaseAccess.h"
#include "Ports.h"

#include <QString>

namespace hv {

class DatabaseRunner;
class PrinterPort;

// What every console window needs from the program: the ports to the outside world and the
// server's host name that the main window read from halvane.ini at load.
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
    // The console's own account and TLS, read from halvane.ini with strDataPath.
    DatabaseAccess access;
    // Where the statements run; unset, on the console's own database thread.
    DatabaseRunner* db = nullptr;

    QString connectionString() const { return fncConnectionString(strDataPath); }
    DatabaseRunner& database() const;
};

} // namespace hv
