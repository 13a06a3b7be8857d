#pragma once

#include <QByteArray>

namespace hv {

// The encoded pictures of the tray client's icon, built into the program.
QByteArray trayIconPng32();
QByteArray trayIconPng16();

} // namespace hv
