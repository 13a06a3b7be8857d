#pragma once

#include "RingReport.h"

#include <QString>
#include <QStringList>

namespace hv {

class clsVolume;
class SoundPlayer;

// The ring (the "Test Sound" menu item and the poller's ring): volume raised to its floor, mute
// lifted, one sound played to its end, then volume and mute put back channel by channel.
class RingRoutine {
public:
    static constexpr long VolumeFloor = 15000;

    // The desktop's incoming-call sound, then the theme's bell.
    static QStringList desktopSounds();

    RingRoutine(clsVolume& volume, SoundPlayer& player, QStringList sounds = desktopSounds());
    void ring();
    // How the last ring went: the sound, and the volume and mute before, during and after it.
    const RingReport& lastReport() const { return m_report; }

private:
    void play();

    clsVolume& m_volume;
    SoundPlayer& m_player;
    QStringList m_sounds;
    RingReport m_report;
};

} // namespace hv
