#include "SendSettings.h"

namespace hv {

SendSettings SendSettings::from(const IniSettings& ini) {
    SendSettings s;
    s.host = ini.strDataPath;
    s.furtherServers = ini.furtherServers;
    s.capSender = ini.capSender;
    s.access = ini.consoleAccess();
    s.wake = WakeSettings::forConsole(ini);
    return s;
}

ServerList SendSettings::servers() const {
    return ServerList::forHosts(host, furtherServers);
}

QString SendSettings::sender() const {
    if (!capSender.isEmpty()) return capSender;
    const QString server = host.trimmed();
    return server.isEmpty() ? QStringLiteral("halvane") : QStringLiteral("halvane@") + server;
}

} // namespace hv
