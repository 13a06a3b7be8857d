#include "platform/Platform.h"

#include "platform/windows/WindowsRing.h"

#include <QSysInfo>

namespace hv {

std::unique_ptr<RingPort> makeDesktopRing(MessagePort& msg) {
    return std::make_unique<WindowsRing>(msg);
}

WorkstationIdentity thisWorkstation() {
    return {QSysInfo::machineHostName(), qEnvironmentVariable("USERNAME")};
}

} // namespace hv
