#include "StopSignal.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace hv {

namespace {

int g_pair[2] = {-1, -1};

void onSignal(int number) {
    const unsigned char byte = static_cast<unsigned char>(number);
    // Nothing else is safe in a signal handler; a full pipe means a stop is on its way already.
    [[maybe_unused]] const ssize_t written = ::write(g_pair[0], &byte, 1);
}

void handle(int number, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(number, &action, nullptr);
}

} // namespace

StopSignal::StopSignal(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pair) != 0) return;
    m_notifier = new QSocketNotifier(g_pair[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char byte = 0;
        if (::read(g_pair[1], &byte, 1) == 1) emit stopped(byte);
    });
    handle(SIGTERM, onSignal);
    handle(SIGINT, onSignal);
}

StopSignal::~StopSignal() {
    handle(SIGTERM, SIG_DFL);
    handle(SIGINT, SIG_DFL);
    delete m_notifier;
    for (int& fd : g_pair) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

} // namespace hv
