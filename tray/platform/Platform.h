#pragma once

#include "Ports.h"
#include "TrayPorts.h"
#include "WorkstationIdentity.h"

#include <memory>

class QWidget;

namespace hv {

class StackKeeper;

// What the tray client takes from the system it runs on. Each platform's folder (platform/posix,
// platform/windows) defines all of it, platform/fallback what a platform has nothing for; which
// files are built is chosen once, in tray/CMakeLists.txt.

// The ring over the audio mixer; may tell the user "No mixer found!" once, at creation.
std::unique_ptr<RingPort> makeDesktopRing(MessagePort& msg);
// The desktop's text-to-speech voice; none when the system has no engine.
std::unique_ptr<SpeechPort> makeDesktopVoice();
// What keeps the popup (created already) above every other window; none where the window system
// keeps a stays-on-top window there by itself.
std::unique_ptr<StackKeeper> makeStackKeeper(QWidget* window);
// This computer and the user this program runs as: the account's name as the system knows it,
// else the session's user name, else the user's number.
WorkstationIdentity thisWorkstation();

} // namespace hv
