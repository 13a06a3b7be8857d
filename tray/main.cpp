#include "QtMessagePort.h"
#include "SingleInstance.h"
#include "TrayPorts.h"
#include "TrayTexts.h"
#include "TrayWindow.h"

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_termPipe[2] = {-1, -1};

// SIGTERM is how a desktop session ends its programs here; it is turned into an event so that
// the program can tidy up on its own thread.
void onTerm(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_termPipe[0], &c, 1);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(hv::trayText::ProgramName);
    // There is no visible main window: closing a box or the popup must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);

    hv::SingleInstance instance(hv::trayText::ProgramName);
    if (!instance.isFirst()) return 0;

    hv::QtMessagePort msg;
    hv::ProcessExit exit;
    hv::TrayWindow form1(msg, exit, hv::makeDesktopPopup(), [](hv::MessagePort& m) { return hv::makeDesktopRing(m); });
    QObject::connect(
        &form1, &hv::TrayWindow::ended, &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);

    std::unique_ptr<QSocketNotifier> termNotifier;
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_termPipe) == 0) {
        termNotifier = std::make_unique<QSocketNotifier>(g_termPipe[1], QSocketNotifier::Read);
        QObject::connect(termNotifier.get(), &QSocketNotifier::activated, &form1, [&form1] {
            char c;
            [[maybe_unused]] const ssize_t n = ::read(g_termPipe[1], &c, 1);
            form1.endSession();
        });
        struct sigaction sa = {};
        sa.sa_handler = onTerm;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &sa, nullptr);
    }
    // Logging off: the session manager asks first; the program ends without its question.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form1,
                     [&form1](QSessionManager&) { form1.endSession(); });

    form1.start();
    const int rc = app.exec();
    // A poll stuck on a server that does not answer, or a ring stuck in an audio device, was left
    // to itself so that the session's end did not wait for it; the process leaves without it.
    if (form1.workLeftBehind()) std::_Exit(rc);
    return rc;
}
