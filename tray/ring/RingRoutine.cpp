#include "ring/RingRoutine.h"

#include "ring/SoundPlayer.h"
#include "ring/clsVolume.h"

#include <QFileInfo>

namespace hv {

QStringList RingRoutine::desktopSounds() {
    return {QStringLiteral("/usr/share/sounds/freedesktop/stereo/phone-incoming-call.oga"),
            QStringLiteral("/usr/share/sounds/freedesktop/stereo/bell.oga")};
}

RingRoutine::RingRoutine(clsVolume& volume, SoundPlayer& player, QStringList sounds)
    : m_volume(volume), m_player(player), m_sounds(std::move(sounds)) {}

void RingRoutine::ring() {
    // Kept per channel: writing one value back would lose the user's balance.
    const std::vector<long> savedVolumes = m_volume.channelVolumes();
    if (!savedVolumes.empty() && m_volume.WaveVolume() < VolumeFloor) m_volume.setWaveVolume(VolumeFloor);

    // The second look catches a mute switched on since the first; such a mute is lifted for the
    // ring like any other instead of leaving the workstation silent for a new alert.
    bool muted = m_volume.WaveMute() != 0;
    if (!muted) muted = m_volume.WaveMute() != 0;
    if (muted) {
        const std::vector<bool> savedMutes = m_volume.channelMutes();
        m_volume.setWaveMute(0);
        play();
        if (savedMutes.empty())
            m_volume.setWaveMute(-1);
        else
            m_volume.restoreChannelMutes(savedMutes);
    } else {
        play();
    }

    m_volume.restoreChannelVolumes(savedVolumes);
}

void RingRoutine::play() {
    for (const QString& path : m_sounds) {
        if (QFileInfo(path).isFile() && m_player.playFile(path)) return;
    }
    m_player.playTone();
}

} // namespace hv
