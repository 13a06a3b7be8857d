#pragma once

#include "ring/SoundPlayer.h"

#include <QByteArray>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace hv {

struct AlsaPlayback;

// Decoded sound: interleaved 16-bit samples.
struct Sound {
    std::vector<int16_t> samples;
    int channels = 0;
    int rate = 0;
    long frames() const { return channels > 0 ? long(samples.size()) / channels : 0; }
    int milliseconds() const { return rate > 0 ? int(frames() * 1000 / rate) : 0; }
};

// Plays through ALSA (the desktop's `default`, normally the audio server). Playback is bounded:
// a little longer than the sound itself, after which the ring gives up, because on some audio
// set-ups a write or a drain never returns and the tray client must not hang with it.
class AlsaSoundPlayer : public SoundPlayer {
public:
    explicit AlsaSoundPlayer(QByteArray device = "default");

    bool playFile(const QString& path) override;
    void playTone() override;
    void interrupt() override;
    Outcome lastOutcome() const override { return m_outcome; }

    // Any format libsndfile reads (WAV, Ogg Vorbis, FLAC); empty when it cannot.
    static Sound decode(const QString& path);
    static Sound tone();
    // How long a play of this sound may take before it is abandoned.
    static int boundMs(const Sound& sound) { return sound.milliseconds() + 2500; }

    // Plays to the end (drained, so the tail is heard) within boundMs; false when the device could
    // not be opened or the bound was reached.
    bool play(const Sound& sound);

    // False while an abandoned play is still inside ALSA.
    static bool idle();

private:
    Outcome failureOf(const AlsaPlayback& playback);

    QByteArray m_device;
    std::mutex m_currentMutex;
    std::shared_ptr<AlsaPlayback> m_current;
    std::atomic<bool> m_interrupted{false};
    Outcome m_outcome;
};

} // namespace hv
