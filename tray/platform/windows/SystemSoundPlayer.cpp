#include "platform/windows/SystemSoundPlayer.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <windows.h>
// after windows.h, which it needs
#include <mmsystem.h>

namespace hv {

namespace {

// How long the default sound may take: the system does not tell its length.
constexpr int kDefaultSoundMs = 3000;

std::atomic<int> g_busy{0};

struct Play {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
};

// Runs the play-sound call on a thread of its own and waits for it at most boundMs.
void playBounded(const std::function<void()>& call, int boundMs) {
    auto state = std::make_shared<Play>();
    ++g_busy;
    std::thread([state, call] {
        call();
        --g_busy;
        std::lock_guard lock(state->mutex);
        state->finished = true;
        state->done.notify_all();
    }).detach();
    std::unique_lock lock(state->mutex);
    if (state->done.wait_for(lock, std::chrono::milliseconds(boundMs), [&] { return state->finished; })) return;
    // Stops whatever this program is playing; the thread then returns from its call.
    lock.unlock();
    PlaySoundW(nullptr, nullptr, 0);
    lock.lock();
    state->done.wait_for(lock, std::chrono::milliseconds(1000), [&] { return state->finished; });
}

quint32 le32(const char* p) {
    return qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(p));
}

quint16 le16(const char* p) {
    return qFromLittleEndian<quint16>(reinterpret_cast<const uchar*>(p));
}

} // namespace

int SystemSoundPlayer::wavMilliseconds(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    char riff[12];
    if (file.read(riff, 12) != 12 || memcmp(riff, "RIFF", 4) != 0 || memcmp(riff + 8, "WAVE", 4) != 0) return -1;
    quint32 byteRate = 0;
    bool pcm = false;
    char header[8];
    while (file.read(header, 8) == 8) {
        const quint32 size = le32(header + 4);
        if (memcmp(header, "fmt ", 4) == 0) {
            const QByteArray fmt = file.read(qMin<quint32>(size, 64));
            if (fmt.size() < 16) return -1;
            const quint16 tag = le16(fmt.constData());
            pcm = tag == 1 || tag == 0xFFFE;
            byteRate = le32(fmt.constData() + 8);
            if (!file.seek(file.pos() - fmt.size() + size + (size & 1))) return -1;
        } else if (memcmp(header, "data", 4) == 0) {
            if (!pcm || byteRate == 0) return -1;
            const qint64 bytes = qMin<qint64>(size, file.size() - file.pos());
            return int(bytes * 1000 / byteRate);
        } else if (!file.seek(file.pos() + size + (size & 1))) {
            return -1;
        }
    }
    return -1;
}

bool SystemSoundPlayer::playFile(const QString& path) {
    if (m_interrupted) return false;
    const int ms = wavMilliseconds(path);
    if (ms < 0) return false;
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    // No default sound from inside the call: the ring decides what plays instead.
    playBounded([name] { PlaySoundW(name.c_str(), nullptr, SND_FILENAME | SND_SYNC | SND_NODEFAULT); }, boundMs(ms));
    return true;
}

void SystemSoundPlayer::playTone() {
    if (m_interrupted) return;
    playBounded(
        [] { PlaySoundW(reinterpret_cast<LPCWSTR>(SND_ALIAS_SYSTEMDEFAULT), nullptr, SND_ALIAS_ID | SND_SYNC); },
        boundMs(kDefaultSoundMs));
}

void SystemSoundPlayer::interrupt() {
    m_interrupted = true;
    // Stops whatever this program is playing; the waiting play returns from its call at once.
    PlaySoundW(nullptr, nullptr, 0);
}

bool SystemSoundPlayer::idle() {
    return g_busy.load() == 0;
}

} // namespace hv
