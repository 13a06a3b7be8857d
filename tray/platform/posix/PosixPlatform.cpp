#include "platform/Platform.h"

#include "platform/posix/AlsaRing.h"
#include "platform/posix/X11StackKeeper.h"

#include <QGuiApplication>
#include <QSysInfo>
#include <QWidget>
#include <pwd.h>
#include <unistd.h>

namespace hv {

std::unique_ptr<RingPort> makeDesktopRing(MessagePort& msg) {
    return std::make_unique<AlsaRing>(msg);
}

std::unique_ptr<StackKeeper> makeStackKeeper(QWidget* window) {
    // Under Wayland or the offscreen platform there is no X server to watch.
    if (!window || QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    return X11StackKeeper::create(quint32(window->winId()));
}

WorkstationIdentity thisWorkstation() {
    WorkstationIdentity id;
    id.hostName = QSysInfo::machineHostName();
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name) id.desktopUser = QString::fromLocal8Bit(pw->pw_name);
    if (id.desktopUser.isEmpty()) id.desktopUser = qEnvironmentVariable("USER");
    if (id.desktopUser.isEmpty()) id.desktopUser = QString::number(getuid());
    return id;
}

} // namespace hv
