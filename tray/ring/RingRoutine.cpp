#include "ring/RingRoutine.h"

#include "ring/SoundPlayer.h"
#include "ring/clsVolume.h"

#include <QFileInfo>
#include <algorithm>

namespace hv {

QStringList RingRoutine::desktopSounds() {
    return {QStringLiteral("/usr/share/sounds/freedesktop/stereo/phone-incoming-call.oga"),
            QStringLiteral("/usr/share/sounds/freedesktop/stereo/bell.oga")};
}

RingRoutine::RingRoutine(clsVolume& volume, SoundPlayer& player, QStringList sounds)
    : m_volume(volume), m_player(player), m_sounds(std::move(sounds)) {}

void RingRoutine::ring() {
    // A ring that ends in a failure reports that it did not ring.
    m_report = {};
    RingReport report;
    // Kept per channel: writing one value back would lose the user's balance.
    const std::vector<long> savedVolumes = m_volume.channelVolumes();
    const bool volumeReadable = !savedVolumes.empty();
    if (volumeReadable) report.volumeBefore = *std::max_element(savedVolumes.begin(), savedVolumes.end());
    if (volumeReadable && m_volume.WaveVolume() < VolumeFloor) m_volume.setWaveVolume(VolumeFloor);
    if (volumeReadable) report.volumeDuring = m_volume.WaveVolume();

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

    // What the receipt says, read after everything was put back.
    if (volumeReadable) report.volumeAfter = m_volume.WaveVolume();
    const std::vector<bool> mutesAfter = m_volume.channelMutes();
    if (muted || !mutesAfter.empty()) report.muteLifted = muted;
    if (muted && !mutesAfter.empty())
        report.muteRestored = std::any_of(mutesAfter.begin(), mutesAfter.end(), [](bool m) { return m; });
    const SoundPlayer::Outcome outcome = m_player.lastOutcome();
    switch (outcome.kind) {
    case SoundPlayer::Outcome::Kind::Played:
        report.result = RingReport::Result::Played;
        break;
    case SoundPlayer::Outcome::Kind::NoDevice:
        report.result = RingReport::Result::NoDevice;
        break;
    case SoundPlayer::Outcome::Kind::Failed:
        report.result = RingReport::Result::Failed;
        break;
    }
    report.reason = outcome.reason;
    m_report = report;
}

void RingRoutine::play() {
    for (const QString& path : m_sounds) {
        if (QFileInfo(path).isFile() && m_player.playFile(path)) return;
    }
    m_player.playTone();
}

} // namespace hv
