#pragma once

#include <QLocalServer>
#include <QString>

namespace hv {

// Refuses a second copy of a program in one user's session. The name lives in the abstract
// socket namespace (on Windows: a named mutex of the session): no file is left behind, and a
// crashed copy frees it at once.
class SingleInstance {
public:
    explicit SingleInstance(const QString& programKey);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;
    // True when this process is the only copy.
    bool isFirst() const { return m_first; }

private:
    QLocalServer m_server;
    bool m_first = false;
#ifdef Q_OS_WIN
    void* m_mutex = nullptr;
#endif
};

} // namespace hv
