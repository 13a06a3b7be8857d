#pragma once

#include "Ports.h"
#include "Texts.h"

#include <QString>

namespace hv {

// One box of the tray client as its user sees it.
struct TrayBox {
    QString title;
    QString text;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
};

// Every text the tray client shows, written once.
namespace trayText {

inline const QString ProgramName = QStringLiteral("Morvik");
inline const QString WindowTitle = QStringLiteral("HALVANE");
inline const QString Text1 = QStringLiteral("Text1");
inline const QString Command1 = QStringLiteral("OK");
inline const QString Command1Tip = QStringLiteral("Click here to send back to the system tray");
inline const QString MenuTitle = QStringLiteral("Menu");
inline const QString TestSound = QStringLiteral("Test Sound");
inline const QString Exit = QStringLiteral("Exit");

inline const TrayBox IniMissing{
    QStringLiteral("Halvane c:\\halvane.ini error"),
    QStringLiteral(
        "The file C:\\halvane.ini was not found. The halvane.ini should only have one line of text in it in the "
        "following format. MYSQLSERVERNAME=ServerComputerName. Have it all on the first line with no periods, spaces "
        "or quotes. So just use MYSQLSERVERNAME= then the name of the networked computer, host name, that is running "
        "the MYSQL server that should have already been installed. This workstation and the MySQL server needs to "
        "either have the firewall off, or allow port 3306. Please contact your computer administrator."),
    Buttons::Ok, Icon::Information};
inline const TrayBox WrongPassword{
    QStringLiteral("Wrong Password"),
    QStringLiteral("You entered an incorrect password. This application will now close."), Buttons::Ok, Icon::Critical};
inline const TrayBox Reinstall{QStringLiteral("Wrong Password"), QStringLiteral("Please reinstall this application."),
                               Buttons::Ok, Icon::Critical};
inline const TrayBox ExitQuestion{
    QStringLiteral("Halvane - Are You Sure?"),
    QStringLiteral("If you close this application this computer will not receive Halvanes until it is restarted. Are "
                   "you sure you want to close Halvane?"),
    Buttons::YesNo, Icon::None};
inline const TrayBox NoMixer{ProgramName, QStringLiteral("No mixer found!"), Buttons::Ok, Icon::None};

} // namespace trayText

} // namespace hv
