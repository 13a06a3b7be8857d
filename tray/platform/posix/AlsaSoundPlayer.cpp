#include "platform/posix/AlsaSoundPlayer.h"

#include "platform/posix/AlsaSetup.h"

#include <alsa/asoundlib.h>
#include <sndfile.h>

#include <QFile>
#include <QScopeGuard>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <numbers>
#include <thread>

namespace hv {

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

// Shared between the ring and the thread that talks to ALSA, so that a thread stuck inside ALSA
// can be left behind safely.
struct AlsaPlayback {
    Sound sound;
    QByteArray device;
    Clock::time_point deadline;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool played = false;
    // Where it went wrong on the device: the call and ALSA's error number.
    const char* failedCall = nullptr;
    int error = 0;
    std::atomic<bool> abandoned{false};
};

namespace {

std::atomic<int> g_threadsInAlsa{0};

bool inTime(const AlsaPlayback& p) {
    return !p.abandoned && Clock::now() < p.deadline;
}

bool playOnDevice(AlsaPlayback& p) {
    snd_pcm_t* pcm = nullptr;
    if (const int e = snd_pcm_open(&pcm, p.device.constData(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK); e < 0) {
        p.failedCall = "snd_pcm_open";
        p.error = e;
        return false;
    }
    // 200 ms of buffer: very small latency settings were seen to stall the audio server's plug-in.
    if (const int e = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                                         unsigned(p.sound.channels), unsigned(p.sound.rate), 1, 200000);
        e < 0) {
        p.failedCall = "snd_pcm_set_params";
        p.error = e;
        snd_pcm_close(pcm);
        return false;
    }
    const long frames = p.sound.frames();
    long offset = 0;
    bool ok = true;
    while (offset < frames && inTime(p)) {
        const snd_pcm_sframes_t n =
            snd_pcm_writei(pcm, p.sound.samples.data() + offset * p.sound.channels, snd_pcm_uframes_t(frames - offset));
        if (n == -EAGAIN) {
            snd_pcm_wait(pcm, 50);
        } else if (n < 0) {
            if (snd_pcm_recover(pcm, int(n), 1) < 0) {
                p.failedCall = "snd_pcm_writei";
                p.error = int(n);
                ok = false;
                break;
            }
        } else {
            offset += n;
        }
    }
    // A sound shorter than the start threshold would otherwise wait in the buffer.
    if (ok && snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED) snd_pcm_start(pcm);
    // Drained by watching the delay rather than with snd_pcm_drain, which can block without end.
    while (ok && inTime(p) && snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING) {
        snd_pcm_sframes_t delay = 0;
        if (snd_pcm_delay(pcm, &delay) < 0 || delay <= 0) break;
        const long ms = delay * 1000 / p.sound.rate;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::clamp(ms, 1L, 20L)));
    }
    ok = ok && offset >= frames && Clock::now() < p.deadline;
    snd_pcm_drop(pcm);
    snd_pcm_close(pcm);
    return ok;
}

} // namespace

AlsaSoundPlayer::AlsaSoundPlayer(QByteArray device) : m_device(std::move(device)) {}

Sound AlsaSoundPlayer::decode(const QString& path) {
    Sound s;
    SF_INFO info{};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!f) return s;
    if (info.channels >= 1 && info.channels <= 8 && info.samplerate > 0 && info.frames > 0 &&
        info.frames < sf_count_t(info.samplerate) * 60) {
        s.samples.resize(size_t(info.frames) * size_t(info.channels));
        const sf_count_t got = sf_readf_short(f, s.samples.data(), info.frames);
        s.samples.resize(size_t(std::max<sf_count_t>(got, 0)) * size_t(info.channels));
        s.channels = info.channels;
        s.rate = info.samplerate;
    }
    sf_close(f);
    if (s.frames() == 0) return {};
    return s;
}

Sound AlsaSoundPlayer::tone() {
    // Two short beeps at 880 Hz, faded in and out so that they do not click.
    Sound s;
    s.channels = 2;
    s.rate = 44100;
    const int beep = s.rate * 25 / 100, gap = s.rate * 10 / 100, fade = s.rate / 100;
    const int total = beep * 2 + gap;
    s.samples.resize(size_t(total) * 2);
    for (int i = 0; i < total; ++i) {
        const int inBeep = i < beep ? i : i - beep - gap;
        if (inBeep < 0 || inBeep >= beep) continue;
        const double edge = std::min({1.0, double(inBeep) / fade, double(beep - 1 - inBeep) / fade});
        const double v = 0.8 * edge * std::sin(2 * std::numbers::pi * 880.0 * i / s.rate);
        s.samples[size_t(i) * 2] = s.samples[size_t(i) * 2 + 1] = int16_t(std::lround(v * 32767));
    }
    return s;
}

bool AlsaSoundPlayer::playFile(const QString& path) {
    const Sound s = decode(path);
    if (s.frames() == 0) return false;
    play(s);
    return true;
}

void AlsaSoundPlayer::playTone() {
    play(tone());
}

bool AlsaSoundPlayer::idle() {
    return g_threadsInAlsa == 0;
}

void AlsaSoundPlayer::interrupt() {
    m_interrupted = true;
    std::shared_ptr<AlsaPlayback> p;
    {
        std::lock_guard current(m_currentMutex);
        p = m_current;
    }
    if (!p) return;
    std::lock_guard lock(p->mutex);
    p->abandoned = true;
    p->finished.notify_all();
}

namespace {

// No output device at all (no sound card and no audio server) as opposed to one that failed.
bool noDevice(int error) {
    return error == -ENOENT || error == -ENODEV || error == -ENXIO;
}

} // namespace

SoundPlayer::Outcome AlsaSoundPlayer::failureOf(const AlsaPlayback& p) {
    if (p.failedCall) {
        const QString reason =
            QStringLiteral("%1: %2").arg(QLatin1String(p.failedCall), QString::fromLocal8Bit(snd_strerror(p.error)));
        return {noDevice(p.error) ? Outcome::Kind::NoDevice : Outcome::Kind::Failed, reason};
    }
    if (m_interrupted) return {Outcome::Kind::Failed, QStringLiteral("interrupted as the program ended")};
    return {Outcome::Kind::Failed, QStringLiteral("the sound device did not finish playing in time")};
}

bool AlsaSoundPlayer::play(const Sound& sound) {
    m_outcome = {};
    if (sound.frames() == 0) return false;
    if (m_interrupted) {
        m_outcome = {Outcome::Kind::Failed, QStringLiteral("interrupted as the program ended")};
        return false;
    }
    AlsaSetup::quietErrors();
    auto p = std::make_shared<AlsaPlayback>();
    p->sound = sound;
    p->device = m_device;
    const auto bound = std::chrono::milliseconds(boundMs(sound));
    p->deadline = Clock::now() + bound;
    ++g_threadsInAlsa;
    std::thread worker([p] {
        const bool played = playOnDevice(*p);
        --g_threadsInAlsa;
        std::lock_guard lock(p->mutex);
        p->played = played;
        p->done = true;
        p->finished.notify_all();
    });
    {
        std::lock_guard current(m_currentMutex);
        m_current = p;
        if (m_interrupted) p->abandoned = true;
    }
    const auto done = qScopeGuard([this] {
        std::lock_guard current(m_currentMutex);
        m_current.reset();
    });
    std::unique_lock lock(p->mutex);
    // A little slack beyond the thread's own deadline for opening and closing the device; an
    // interrupted play is given a moment to leave the device by itself.
    p->finished.wait_for(lock, bound + std::chrono::milliseconds(500), [&] { return p->done || p->abandoned; });
    if (!p->done) p->finished.wait_for(lock, std::chrono::milliseconds(200), [&] { return p->done; });
    if (p->done) {
        lock.unlock();
        worker.join();
        if (!p->played) m_outcome = failureOf(*p);
        return p->played;
    }
    // Stuck inside ALSA: leave the thread to finish on its own; the ring goes on.
    p->abandoned = true;
    lock.unlock();
    worker.detach();
    m_outcome = {Outcome::Kind::Failed, QStringLiteral("the sound device did not finish playing in time")};
    return false;
}

} // namespace hv
