#include "platform/windows/WindowsRing.h"

#include "TrayTexts.h"

#include <QCoreApplication>
#include <QDir>

#include <windows.h>

namespace hv {

WindowsRing::WindowsRing(MessagePort& msg)
    : m_volume(m_mixer, msg, trayText::ProgramName), m_routine(m_volume, m_player, sounds()) {}

void WindowsRing::ring() {
    // No speakers at start may only mean that none were plugged in yet.
    if (!m_volume.hasMixer()) m_volume.retryOpen();
    m_routine.ring();
}

AudioState WindowsRing::audioState() {
    if (!m_volume.hasMixer()) m_volume.retryOpen();
    return {m_volume.hasMixer(), !m_volume.channelVolumes().empty(), !m_volume.channelMutes().empty()};
}

void WindowsRing::interrupt() {
    m_player.interrupt();
}

QStringList WindowsRing::sounds() {
    wchar_t windows[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    const QString folder =
        n > 0 && n < MAX_PATH ? QString::fromWCharArray(windows, int(n)) : QStringLiteral("C:\\windows");
    return {QDir(folder).filePath(QStringLiteral("media/ringin.wav")),
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("ring.wav"))};
}

} // namespace hv
