#pragma once

#include <QString>

namespace hv {

// Plays a sound synchronously to its end. The real one decodes with libsndfile and plays on
// ALSA's default device; a test's one records what it was asked to play.
class SoundPlayer {
public:
    virtual ~SoundPlayer();
    // False when the file cannot be decoded; a missing or broken output device still counts as
    // played, because nothing else would be heard either.
    virtual bool playFile(const QString& path) = 0;
    // A short tone made in code, for a desktop without any sound theme.
    virtual void playTone() = 0;
    // Called from another thread as the program ends: the play under way, and any later one, ends
    // as soon as the device allows.
    virtual void interrupt() {}
};

} // namespace hv
