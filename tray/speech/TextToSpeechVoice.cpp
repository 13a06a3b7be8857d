#include "speech/TextToSpeechVoice.h"

#include "platform/Platform.h"

#include "JobQueue.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTextToSpeech>
#include <QTimer>

namespace hv {

QString TextToSpeechVoice::preferredEngine(const QStringList& installed) {
    if (installed.contains(QLatin1String("flite"))) return QStringLiteral("flite");
    return installed.isEmpty() ? QString() : installed.front();
}

std::unique_ptr<TextToSpeechVoice> TextToSpeechVoice::create() {
    const QString engine = preferredEngine(QTextToSpeech::availableEngines());
    if (engine.isEmpty()) return nullptr;
    auto tts = std::make_unique<QTextToSpeech>(engine);
    if (tts->state() == QTextToSpeech::Error) return nullptr;
    return std::unique_ptr<TextToSpeechVoice>(new TextToSpeechVoice(std::move(tts)));
}

TextToSpeechVoice::TextToSpeechVoice(std::unique_ptr<QTextToSpeech> engine) : m_engine(std::move(engine)) {}

TextToSpeechVoice::~TextToSpeechVoice() = default;

void TextToSpeechVoice::speak(const QString& text) {
    m_interrupted = false;
    if (text.trimmed().isEmpty() || m_engine->state() == QTextToSpeech::Error) return;
    QEventLoop loop;
    bool started = false;
    QObject::connect(m_engine.get(), &QTextToSpeech::stateChanged, &loop, [&](QTextToSpeech::State s) {
        if (s == QTextToSpeech::Speaking) started = true;
        if (s == QTextToSpeech::Error || (started && s == QTextToSpeech::Ready)) loop.quit();
    });
    // The engine answers through this thread's events; the watch ends a speech that is to stop,
    // and one whose engine never starts or never ends.
    const QDeadlineTimer deadline(boundMs(text));
    QTimer watch;
    watch.setInterval(50);
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        if (m_interrupted || JobQueue::stopping() || deadline.hasExpired()) {
            m_engine->stop(QTextToSpeech::BoundaryHint::Immediate);
            loop.quit();
        }
    });
    watch.start();
    m_engine->say(text);
    if (m_engine->state() != QTextToSpeech::Error) loop.exec();
}

std::unique_ptr<SpeechPort> makeDesktopVoice() {
    return TextToSpeechVoice::create();
}

} // namespace hv
