#pragma once

#include <QString>

namespace hv {

// Who a workstation is in the delivery tables: the computer's host name and the desktop user the
// tray client runs for. One tray client runs per user and computer, so the pair names exactly one;
// both are what the operator knows the desk by, survive a reinstallation, and need no file of the
// program's own on the workstation.
struct WorkstationIdentity {
    QString hostName;
    QString desktopUser;
};

} // namespace hv
