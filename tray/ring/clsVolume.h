#pragma once

#include "ring/Mixer.h"

#include <QString>
#include <vector>

namespace hv {

class MessagePort;

// The speaker output's volume and mute switch. One instance per program run: the mixer is opened
// at creation and closed at destruction.
class clsVolume {
public:
    // Tells the user "No mixer found!" (titled with the program's name) when no mixer can be opened.
    clsVolume(Mixer& mixer, MessagePort& msg, const QString& programName);
    ~clsVolume();
    clsVolume(const clsVolume&) = delete;
    clsVolume& operator=(const clsVolume&) = delete;

    long MinWaveVolume() const { return m_min; }
    long MaxWaveVolume() const { return m_max; }
    // The loudest channel; 0 when it cannot be read.
    long WaveVolume() const;
    // Clamped to [MinWaveVolume, MaxWaveVolume] here: the mixer would silently ignore a value
    // outside its range.
    void setWaveVolume(long value);
    // Non-zero (-1) when any channel is muted; 0 when it cannot be read.
    long WaveMute() const;
    // Non-zero mutes every channel, 0 unmutes every channel.
    void setWaveMute(long value);

    // Each channel as it is, so that a change can be undone without losing the balance.
    std::vector<long> channelVolumes() const;
    void restoreChannelVolumes(const std::vector<long>& values);
    std::vector<bool> channelMutes() const;
    void restoreChannelMutes(const std::vector<bool>& values);

    bool hasMixer() const { return m_open; }
    // Tries once more to open a mixer that was missing at creation (an audio server that started
    // after the program), without telling the user again.
    bool retryOpen();

private:
    void loadRange();

    Mixer& m_mixer;
    bool m_open = false;
    bool m_hasVolume = false;
    long m_min = 0;
    long m_max = 0;
};

} // namespace hv
