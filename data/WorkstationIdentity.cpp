#include "WorkstationIdentity.h"

#include <QSysInfo>

#ifdef Q_OS_WIN
#include <QtGlobal>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace hv {

WorkstationIdentity WorkstationIdentity::current() {
    WorkstationIdentity id;
    id.hostName = QSysInfo::machineHostName();
#ifdef Q_OS_WIN
    id.desktopUser = qEnvironmentVariable("USERNAME");
#else
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name) id.desktopUser = QString::fromLocal8Bit(pw->pw_name);
    if (id.desktopUser.isEmpty()) id.desktopUser = qEnvironmentVariable("USER");
    if (id.desktopUser.isEmpty()) id.desktopUser = QString::number(getuid());
#endif
    return id;
}

} // namespace hv
