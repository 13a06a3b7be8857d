#pragma once

#include "TrayPorts.h"

#include <QString>
#include <atomic>
#include <memory>

class QTextToSpeech;

namespace hv {

// The alert read aloud through Qt's text-to-speech engines. An engine that speaks in this process
// is preferred to one behind a speech daemon: nothing else has to run, and its sound reaches the
// desktop's audio server the way the ring does.
class TextToSpeechVoice : public SpeechPort {
public:
    // None when the system has no engine, or the engine cannot start.
    static std::unique_ptr<TextToSpeechVoice> create();
    ~TextToSpeechVoice() override;

    void speak(const QString& text) override;
    void interrupt() override { m_interrupted = true; }

    // The engine that create() takes among those installed; empty for none.
    static QString preferredEngine(const QStringList& installed);
    // How long one text may take before it is cut short: a generous speaking pace with room for
    // the engine to start.
    static int boundMs(const QString& text) { return 10000 + 150 * int(text.size()); }

private:
    explicit TextToSpeechVoice(std::unique_ptr<QTextToSpeech> engine);

    std::unique_ptr<QTextToSpeech> m_engine;
    std::atomic_bool m_interrupted{false};
};

} // namespace hv
