#pragma once

#include <QString>

namespace hv {

// What a workstation's check-in says of its wake-up channel: whether halvane.ini names a broker,
// whether it is connected now and to which, and what it has done with the messages since it
// started (taken, dropped unshown, shown and then not confirmed by the database).
struct WakeState {
    bool configured = false;
    bool connected = false;
    QString broker;             // "host:port" while connected
    qint64 connectedForMs = -1; // how long the connection has lasted; -1 while not connected
    qint64 received = 0;        // messages that went into the live-alert picture
    qint64 dropped = 0;         // unreadable, too large, another site's, far out of time
    qint64 unconfirmed = 0;     // shown, then taken down because the database did not hold them
    bool operator==(const WakeState&) const = default;
};

} // namespace hv
