#include "QtMessagePort.h"
#include "SingleInstance.h"
#include "TerminationSignal.h"
#include "TrayPorts.h"
#include "TrayTexts.h"
#include "TrayWindow.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QSessionManager>

#include <cstdlib>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(hv::trayText::ProgramName);
    // There is no visible main window: closing a box or the popup must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);

    hv::SingleInstance instance(hv::trayText::ProgramName);
    if (!instance.isFirst()) return 0;

    hv::QtMessagePort msg;
    hv::ProcessExit exit;
    hv::TrayOptions options;
    options.makeVoice = [] { return hv::makeDesktopVoice(); };
    hv::TrayWindow form1(
        msg, exit, hv::makeDesktopPopup(), [](hv::MessagePort& m) { return hv::makeDesktopRing(m); }, options);
    QObject::connect(
        &form1, &hv::TrayWindow::ended, &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);

    // SIGTERM is how a desktop session ends its programs here.
    hv::TerminationSignal term;
    QObject::connect(&term, &hv::TerminationSignal::received, &form1, [&form1] { form1.endSession(); });
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
