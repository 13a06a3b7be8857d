#include "TerminationSignal.h"

#include <QSocketNotifier>

#ifdef Q_OS_WIN

namespace hv {

// Windows has no SIGTERM from a session: it ends programs through its session messages, which Qt
// already turns into commitDataRequest.
TerminationSignal::TerminationSignal(QObject* parent) : QObject(parent) {}
TerminationSignal::~TerminationSignal() = default;

} // namespace hv

#else

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace hv {

namespace {

int g_pair[2] = {-1, -1};

void onTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pair[0], &byte, 1);
}

} // namespace

TerminationSignal::TerminationSignal(QObject* parent) : QObject(parent) {
    if (g_pair[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pair) != 0) return;
    m_notifier = new QSocketNotifier(g_pair[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(g_pair[1], &byte, 1);
        emit received();
    });
    struct sigaction sa = {};
    sa.sa_handler = onTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
}

TerminationSignal::~TerminationSignal() {
    if (!m_notifier) return;
    // SIGTERM ends the program at once again; the pair goes with the last reader.
    struct sigaction sa = {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    delete m_notifier;
    m_notifier = nullptr;
    ::close(g_pair[0]);
    ::close(g_pair[1]);
    g_pair[0] = g_pair[1] = -1;
}

} // namespace hv

#endif
