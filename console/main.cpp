#include "QtMessagePort.h"
#include "SingleInstance.h"
#include "TerminationSignal.h"
#include "mainwindow/MainWindow.h"
#include "shared/ConsoleContext.h"

#include <QApplication>
#include <QSessionManager>

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
    hv::ConsoleContext ctx{msg, exitPort, clock};

    hv::MainWindow form1(ctx);
    QObject::connect(&form1, &hv::MainWindow::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form1,
                     [&form1](QSessionManager&) { form1.endSession(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &form1, &hv::MainWindow::endSession);
    // SIGTERM (the session or the system stopping the console): the windows close as they would
    // for the user.
    hv::TerminationSignal term;
    QObject::connect(&term, &hv::TerminationSignal::received, &form1, &hv::MainWindow::endSession);

    form1.load();
    form1.show();
    return app.exec();
}
