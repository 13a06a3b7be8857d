#pragma once

#include "ring/SoundPlayer.h"

#include <QString>

#include <atomic>

namespace hv {

// Plays through the system's own play-sound call (PlaySoundW), synchronously, but never for longer
// than the sound itself plus a margin: a sound device that stops answering must not hold the tray
// client with it. The call waits on a thread of its own; past the bound the sound is stopped and
// the ring goes on.
class SystemSoundPlayer : public SoundPlayer {
public:
    // A WAV file with PCM (or extensible PCM) samples; anything else is not played, so that the
    // ring goes on to its next sound.
    bool playFile(const QString& path) override;
    // The system's default sound, as the play-sound call gives it for a missing file.
    void playTone() override;
    // Stops the sound under way and any that would follow: the program is ending, and the ring
    // must give back volume and mute before it goes.
    void interrupt() override;

    // The length of a PCM WAV file in milliseconds; -1 when the file is not one.
    static int wavMilliseconds(const QString& path);
    static int boundMs(int soundMs) { return soundMs + 2500; }

    // False while an abandoned play is still inside the system's call.
    static bool idle();

private:
    std::atomic<bool> m_interrupted{false};
};

} // namespace hv
