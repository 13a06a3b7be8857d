// The baseline for the tray client at rest: the least a Qt program with an icon in the
// notification area can be (no database, no sound, no timer). Ends on SIGTERM.
#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    QSystemTrayIcon icon{QIcon(pixmap)};
    icon.setToolTip(QStringLiteral("minimal"));
    icon.show();
    return app.exec();
}
