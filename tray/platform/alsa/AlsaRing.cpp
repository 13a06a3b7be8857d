#include "platform/alsa/AlsaRing.h"

#include "TrayTexts.h"
#include "platform/alsa/AlsaSetup.h"

namespace hv {

AlsaRing::AlsaRing(MessagePort& msg) : m_volume(m_mixer, msg, trayText::ProgramName), m_routine(m_volume, m_player) {}

void AlsaRing::ring() {
    // No mixer at start often only means that the audio server was not up yet.
    if (!m_volume.hasMixer() && AlsaSoundPlayer::idle()) {
        AlsaSetup::rereadConfiguration();
        m_volume.retryOpen();
    }
    m_routine.ring();
}

void AlsaRing::interrupt() {
    m_player.interrupt();
}

std::unique_ptr<RingPort> makeDesktopRing(MessagePort& msg) {
    return std::make_unique<AlsaRing>(msg);
}

} // namespace hv
