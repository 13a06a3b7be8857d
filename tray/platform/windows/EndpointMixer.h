#pragma once

#include "ring/Mixer.h"

struct IAudioEndpointVolume;

namespace hv {

// The workstation's speakers as Windows (Vista and later) keeps them: Core Audio's volume and
// mute of the default output endpoint. The old waveform mixer calls reach only the calling
// program's own stream there, so a muted workstation would stay silent for a ring. The endpoint's
// normalised level (0.0 to 1.0, the position of the system's own volume slider) is shown on the
// 0–65535 scale of those mixer calls, the scale of the ring's volume floor.
class EndpointMixer : public Mixer {
public:
    static constexpr long ScaleMax = 65535;

    // The default output endpoint of the system, looked up when the mixer is opened.
    EndpointMixer();
    // A given endpoint (a test's fake); the mixer holds a reference of its own.
    explicit EndpointMixer(IAudioEndpointVolume* endpoint);
    ~EndpointMixer() override;
    EndpointMixer(const EndpointMixer&) = delete;
    EndpointMixer& operator=(const EndpointMixer&) = delete;

    bool open() override;
    void close() override;
    bool volumeRange(long* min, long* max) override;
    // One value per channel; the master level alone when the endpoint does not give its channels.
    std::vector<long> volumes() override;
    // One value is the endpoint's master level (the loudest channel takes it, the balance stays);
    // otherwise one value per channel.
    bool setVolumes(const std::vector<long>& values) override;
    // The endpoint has one mute switch.
    std::vector<bool> mutes() override;
    bool setMutes(const std::vector<bool>& values) override;

    static long toScale(float level);
    static float toLevel(long value);

private:
    IAudioEndpointVolume* m_given = nullptr;
    IAudioEndpointVolume* m_endpoint = nullptr;
    bool m_comStarted = false;
    unsigned long m_comThread = 0;
};

} // namespace hv
