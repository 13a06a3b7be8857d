#include "IniFile.h"
#include "Ports.h"
#include "SendCommand.h"

#include <QCoreApplication>
#include <QFile>
#include <csignal>
#include <unistd.h>

int main(int argc, char** argv) {
    // No window and no display: a script, a cron job or a gateway calls this.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("halvane-send"));
    // A reader that goes away (a closed pipe) is a failed write with its own status, not a
    // silent death.
    std::signal(SIGPIPE, SIG_IGN);

    QFile in, out, err;
    // Unbuffered, so that a CAP document is read no further than its bound.
    in.open(STDIN_FILENO, QIODevice::ReadOnly | QIODevice::Unbuffered);
    out.open(STDOUT_FILENO, QIODevice::WriteOnly);
    err.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);

    hv::SystemClock clock;
    hv::SendCommand command({in, out, err}, clock, hv::iniFilePath());
    const hv::ExitStatus status = command.run(QCoreApplication::arguments().mid(1));
    if (!out.flush() && status == hv::ExitStatus::Done) return int(hv::ExitStatus::Failed);
    return int(status);
}
