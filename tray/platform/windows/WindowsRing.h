#pragma once

#include "TrayPorts.h"
#include "platform/windows/EndpointMixer.h"
#include "platform/windows/SystemSoundPlayer.h"
#include "ring/RingRoutine.h"
#include "ring/clsVolume.h"

#include <QStringList>

namespace hv {

// The ring on a Windows workstation: the program's one clsVolume over the speakers' endpoint,
// held for as long as the ring exists, and the system's sound player.
class WindowsRing : public RingPort {
public:
    explicit WindowsRing(MessagePort& msg);
    void ring() override;
    void interrupt() override;

    // Windows' own "ringin.wav" from its media folder, then the ring sound installed beside the
    // program (the media folder of a current Windows may lack it).
    static QStringList sounds();

private:
    EndpointMixer m_mixer;
    SystemSoundPlayer m_player;
    clsVolume m_volume;
    RingRoutine m_routine;
};

} // namespace hv
