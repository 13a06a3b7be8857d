#pragma once

#include "TrayPorts.h"
#include "platform/posix/AlsaMixer.h"
#include "platform/posix/AlsaSoundPlayer.h"
#include "ring/RingRoutine.h"
#include "ring/clsVolume.h"

namespace hv {

// The ring on a Linux desktop: owns the program's one clsVolume over ALSA's simple mixer, so the
// mixer stays open for as long as the ring exists, and plays through ALSA's `default` device.
class AlsaRing : public RingPort {
public:
    explicit AlsaRing(MessagePort& msg);
    void ring() override;
    void interrupt() override;
    RingReport lastReport() const override { return m_routine.lastReport(); }
    AudioState audioState() override;

private:
    AlsaMixer m_mixer;
    AlsaSoundPlayer m_player;
    clsVolume m_volume;
    RingRoutine m_routine;
};

} // namespace hv
