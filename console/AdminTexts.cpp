#include "AdminTexts.h"

#include "Failure.h"

namespace admin {

QString trimSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

QString reasonFor(const hv::Failure& failure) {
    switch (failure.number()) {
    case hv::code::CannotOpen:
        return QStringLiteral("The connection to the MYSQL database could not be made or was lost. Make sure the "
                              "main computer is running and port 3306 is open in your firewall.");
    case hv::code::LoginRefused:
        return QStringLiteral("The MYSQL database refused the login.");
    case hv::code::PermissionDenied:
        return QStringLiteral("The MYSQL database denied permission for this.");
    case hv::code::NoCurrentRow:
        return QStringLiteral("The record is no longer in the database.");
    default:
        return QStringLiteral("The MYSQL database refused it (error %1).").arg(failure.number());
    }
}

} // namespace admin

#include <QScreen>
#include <QWidget>

namespace admin {

void makeFixedDialog(QWidget* window) {
    window->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint);
}

void centreOnScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen) return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

} // namespace admin
