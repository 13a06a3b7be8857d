#include "ConsoleContext.h"
#include "MainWindow.h"
#include "Ports.h"
#include "QtMessagePort.h"
#include "SingleInstance.h"

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// SIGTERM (the session or the system stopping the console) reaches the event loop through this
// pair, so that the windows close as they would for the user.
int g_signalPipe[2] = {-1, -1};

void onTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[0], &byte, 1);
}

} // namespace
#endif

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Halvane"));

    hv::QtMessagePort msg;
    hv::SingleInstance instance(QStringLiteral("console"));
    if (!instance.isFirst()) {
        msg.show(QStringLiteral("Ending....."),
                 QStringLiteral("Halvane Admin") +
                     QStringLiteral(" is Already running! If not already running wait a moment after closing."),
                 hv::Buttons::Ok, hv::Icon::Critical);
        return 0;
    }

    hv::ProcessExit exitPort;
    hv::SystemClock clock;
    ConsoleContext ctx{msg, exitPort, clock, nullptr, QString()};

    MainWindow form1(ctx);
    QObject::connect(&form1, &MainWindow::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form1,
                     [&form1](QSessionManager&) { form1.endSession(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &form1, &MainWindow::endSession);

#ifndef Q_OS_WIN
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &form1, [&form1] {
            char byte;
            [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[1], &byte, 1);
            form1.endSession();
        });
        struct sigaction sa = {};
        sa.sa_handler = onTerminate;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &sa, nullptr);
    }
#endif

    form1.load();
    form1.show();
    return app.exec();
}
