#include "ring/AudioWorker.h"

#include "Handler.h"
#include "JobQueue.h"

namespace hv {

AudioWorker::AudioWorker(std::unique_ptr<RingPort> ring, Rang rang)
    : m_ring(std::move(ring)), m_rang(std::move(rang)) {}

AudioWorker::~AudioWorker() = default;

void AudioWorker::setVoiceFactory(VoiceFactory makeVoice) {
    m_makeVoice = std::move(makeVoice);
}

void AudioWorker::ring(int ticket, TrayOperation op) {
    // Words are only ever extra: a new ring does not wait for them.
    if (SpeechPort* voice = m_speaking.load()) voice->interrupt();
    run({ticket, op, {}});
}

void AudioWorker::speak(const QString& text) {
    if (text.isEmpty()) return;
    run({0, TrayOperation::Poll, text});
}

void AudioWorker::run(Job job) {
    m_jobs.push_back(std::move(job));
    if (m_playing) return;
    m_playing = true;
    while (!m_jobs.empty() && !JobQueue::stopping()) {
        const Job next = m_jobs.front();
        m_jobs.pop_front();
        if (!next.speech.isEmpty()) {
            say(next.speech);
            continue;
        }
        Handler h([op = next.op](const Failure& f) { return TrayFailures::reaction(op, f); });
        RingReport report;
        h.run([&] {
            h.step([&] {
                m_ring->ring();
                report = m_ring->lastReport();
            });
        });
        if (m_rang) m_rang(next.ticket, report);
    }
    m_playing = false;
}

AudioState AudioWorker::probe() {
    return m_ring->audioState();
}

void AudioWorker::say(const QString& text) {
    // A ring already waiting goes first; the words would be cut short by it anyway.
    for (const Job& j : m_jobs)
        if (j.speech.isEmpty()) return;
    if (!m_voiceMade && m_makeVoice) {
        m_voiceMade = true;
        m_voice = m_makeVoice();
    }
    if (!m_voice) return;
    m_speaking = m_voice.get();
    m_voice->speak(text);
    m_speaking = nullptr;
}

void AudioWorker::interrupt() {
    m_ring->interrupt();
    if (SpeechPort* voice = m_speaking.load()) voice->interrupt();
}

} // namespace hv
