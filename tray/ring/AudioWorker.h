#pragma once

#include "TrayFailures.h"
#include "TrayPorts.h"

#include "RingReport.h"

#include <QString>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>

namespace hv {

// The ring on a thread of its own, so that the window thread never waits for a sound. It owns
// the ring (and with it the mixer), which therefore lives as long as the thread: a ring still
// playing when the program ends is never pulled from under it. The voice that reads alerts aloud
// lives here too, so that words follow the ring and never sound over it.
class AudioWorker {
public:
    // Hears, on the audio thread, that a ring has ended and how it went.
    using Rang = std::function<void(int ticket, const RingReport& report)>;

    AudioWorker(std::unique_ptr<RingPort> ring, Rang rang);
    ~AudioWorker();

    // How the voice is made, on first use on this thread; without one nothing is read aloud.
    void setVoiceFactory(VoiceFactory makeVoice);
    // One ring to its end, for the "Test Sound" item or for a poll; a failure is handled as the
    // operation's failure table says (either way the program goes on). Rings asked for while one
    // plays follow it, also when the ring turns an event loop of its own meanwhile. A ring asked
    // for while words are being spoken cuts them short.
    void ring(int ticket, TrayOperation op);
    // Reads the text aloud once the rings asked for before it have ended.
    void speak(const QString& text);
    // From any thread: the ring or speech under way ends as soon as the device allows (volume and
    // mute are then put back as usual).
    void interrupt();
    // What the check-in says of the audio.
    AudioState probe();

private:
    struct Job {
        int ticket = 0;
        TrayOperation op = TrayOperation::Poll;
        QString speech; // a speech job when not empty
    };
    void run(Job job);
    void say(const QString& text);

    std::unique_ptr<RingPort> m_ring;
    Rang m_rang;
    VoiceFactory m_makeVoice;
    std::unique_ptr<SpeechPort> m_voice;
    bool m_voiceMade = false;
    // The voice while it speaks, for interrupt() from other threads.
    std::atomic<SpeechPort*> m_speaking{nullptr};
    std::deque<Job> m_jobs;
    bool m_playing = false;
};

} // namespace hv
