#include "platform/posix/AlsaRing.h"

#include "TrayTexts.h"
#include "platform/posix/AlsaSetup.h"

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

AudioState AlsaRing::audioState() {
    if (!m_volume.hasMixer() && AlsaSoundPlayer::idle()) {
        AlsaSetup::rereadConfiguration();
        m_volume.retryOpen();
    }
    return {m_volume.hasMixer(), !m_volume.channelVolumes().empty(), !m_volume.channelMutes().empty()};
}

void AlsaRing::interrupt() {
    m_player.interrupt();
}

} // namespace hv
