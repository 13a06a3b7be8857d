#include "SingleInstance.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace hv {

#ifdef Q_OS_WIN

// Windows: a named mutex in the session's own namespace, the system's usual sign of a previous
// instance. Creating it is atomic, so of several copies started together exactly one wins, and
// the system frees it when its holder ends, crashed or not. A named pipe cannot serve here: a
// second QLocalServer::listen() on a name in use succeeds on Windows.
SingleInstance::SingleInstance(const QString& programKey) {
    const QString name = QStringLiteral("Local\\halvane-%1").arg(programKey);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t*>(name.utf16()));
    const DWORD error = GetLastError();
    m_first = mutex != nullptr && error != ERROR_ALREADY_EXISTS;
    if (m_first)
        m_mutex = mutex;
    else if (mutex)
        CloseHandle(mutex);
}

SingleInstance::~SingleInstance() {
    if (m_mutex) CloseHandle(m_mutex);
}

#else

SingleInstance::SingleInstance(const QString& programKey) {
    m_server.setSocketOptions(QLocalServer::AbstractNamespaceOption);
    const QString name = QStringLiteral("halvane-%1-%2").arg(programKey).arg(::getuid());
    // Binding an abstract name is atomic: of several copies started together exactly one wins.
    m_first = m_server.listen(name);
}

SingleInstance::~SingleInstance() = default;

#endif

} // namespace hv
