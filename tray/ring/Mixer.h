#pragma once

#include <vector>

namespace hv {

// The master output of the workstation as clsVolume sees it: the real one is ALSA's simple mixer,
// a test's one is a fake with a settable range. Values are per channel so that a ring can put the
// balance back exactly as it found it.
class Mixer {
public:
    virtual ~Mixer();
    // Opens the mixer device; false when there is none.
    virtual bool open() = 0;
    virtual void close() = 0;
    // Bounds of the volume control; false when the output has no volume control.
    virtual bool volumeRange(long* min, long* max) = 0;
    // Volume of each channel; empty when it cannot be read.
    virtual std::vector<long> volumes() = 0;
    // One value sets every channel; otherwise one value per channel.
    virtual bool setVolumes(const std::vector<long>& values) = 0;
    // Mute of each channel (true = muted); empty when the output has no mute switch.
    virtual std::vector<bool> mutes() = 0;
    // One value sets every channel; otherwise one value per channel.
    virtual bool setMutes(const std::vector<bool>& values) = 0;
};

} // namespace hv
