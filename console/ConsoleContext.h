#pragma once

#include "ConnectionString.h"
#include "Ports.h"

#include <QString>

class PrinterPort;

// What every console window needs from the program: the ports to the outside world and the
// server's host name that the main window read from halvane.ini at load.
struct ConsoleContext {
    hv::MessagePort& msg;
    hv::ExitPort& exit;
    hv::Clock& clock;
    // The default printer as the reports and the viewer see it; set by the program (and tests).
    PrinterPort* printer = nullptr;
    QString strDataPath;

    QString connectionString() const { return hv::fncConnectionString(strDataPath); }
};
