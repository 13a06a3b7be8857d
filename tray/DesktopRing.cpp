#include "AlsaMixer.h"
#include "AlsaSetup.h"
#include "AlsaSoundPlayer.h"
#include "RingRoutine.h"
#include "TrayPorts.h"
#include "clsVolume.h"

namespace hv {

namespace {

// The ring on the desktop: owns the program's one clsVolume, so the mixer stays open for as long
// as the ring exists.
class DesktopRing : public RingPort {
public:
    explicit DesktopRing(MessagePort& msg)
        : m_volume(m_mixer, msg, QStringLiteral("Morvik")), m_routine(m_volume, m_player) {}

    void ring() override {
        // No mixer at start often only means that the audio server was not up yet.
        if (!m_volume.hasMixer() && AlsaSoundPlayer::idle()) {
            AlsaSetup::rereadConfiguration();
            m_volume.retryOpen();
        }
        m_routine.ring();
    }

private:
    AlsaMixer m_mixer;
    AlsaSoundPlayer m_player;
    clsVolume m_volume;
    RingRoutine m_routine;
};

} // namespace

std::unique_ptr<RingPort> makeDesktopRing(MessagePort& msg) {
    return std::make_unique<DesktopRing>(msg);
}

} // namespace hv
