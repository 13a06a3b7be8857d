#include "FaultyProxy.h"

#include <QByteArray>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {

// One client's connection and its connection to the server.
struct Pair {
    int client = -1;
    int server = -1;
    // The COMMIT went on with its answer to be lost: the server's next bytes are dropped, and the
    // pair is cut.
    bool dropAnswer = false;
};

void closePair(Pair& p) {
    if (p.client >= 0) ::close(p.client);
    if (p.server >= 0) ::close(p.server);
    p.client = p.server = -1;
}

bool sendAll(int fd, const char* data, ssize_t n) {
    while (n > 0) {
        const ssize_t w = ::send(fd, data, size_t(n), MSG_NOSIGNAL);
        if (w <= 0) return false;
        data += w;
        n -= w;
    }
    return true;
}

} // namespace

FaultyProxy::FaultyProxy(QString targetHost, int targetPort)
    : m_targetHost(std::move(targetHost)), m_targetPort(targetPort) {}

FaultyProxy::~FaultyProxy() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_listen >= 0) ::close(m_listen);
}

bool FaultyProxy::start(QString* error) {
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(m_listen, 16) != 0 || ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (error) *error = QStringLiteral("the proxy could not listen on 127.0.0.1");
        return false;
    }
    m_port = ntohs(a.sin_port);
    m_thread = std::thread([this] { loop(); });
    return true;
}

void FaultyProxy::loop() {
    std::vector<Pair> pairs;
    std::vector<char> buffer(65536);
    while (!m_stop) {
        std::vector<pollfd> fds{{m_listen, POLLIN, 0}};
        for (const Pair& p : pairs) {
            fds.push_back({p.client, POLLIN, 0});
            fds.push_back({p.server, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), 50) < 0) continue;
        if (m_refusing) {
            for (Pair& p : pairs)
                closePair(p);
            pairs.clear();
        }
        if (fds[0].revents & POLLIN) {
            const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                const int server = m_refusing ? -1 : ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                sockaddr_in t{};
                t.sin_family = AF_INET;
                t.sin_port = htons(quint16(m_targetPort));
                inet_pton(AF_INET, m_targetHost.toLatin1().constData(), &t.sin_addr);
                if (server >= 0 && ::connect(server, reinterpret_cast<sockaddr*>(&t), sizeof t) == 0) {
                    pairs.push_back({client, server, false});
                } else {
                    if (server >= 0) ::close(server);
                    ::close(client);
                }
            }
        }
        for (size_t i = 0; i < pairs.size() && 1 + 2 * i + 1 < fds.size(); ++i) {
            Pair& p = pairs[i];
            if (p.client < 0) continue;
            const pollfd& fromClient = fds[1 + 2 * i];
            const pollfd& fromServer = fds[2 + 2 * i];
            if (fromClient.revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::recv(p.client, buffer.data(), buffer.size(), 0);
                if (n <= 0) {
                    closePair(p);
                    continue;
                }
                // The client library sends COMMIT as a text query: the command byte, then the word.
                const bool commit = QByteArray::fromRawData(buffer.data(), int(n))
                                        .contains("\x03"
                                                  "COMMIT");
                const Fault fault = m_fault;
                if (commit && fault != Fault::None) {
                    m_fault = Fault::None;
                    m_fired = true;
                    if (fault == Fault::LoseCommit) {
                        closePair(p);
                        continue;
                    }
                    p.dropAnswer = true;
                }
                if (!sendAll(p.server, buffer.data(), n)) closePair(p);
            }
            if (p.server >= 0 && (fromServer.revents & (POLLIN | POLLHUP | POLLERR))) {
                const ssize_t n = ::recv(p.server, buffer.data(), buffer.size(), 0);
                // The server has answered the COMMIT: it committed, and the client never learns it.
                if (n <= 0 || p.dropAnswer) {
                    closePair(p);
                    continue;
                }
                if (!sendAll(p.client, buffer.data(), n)) closePair(p);
            }
        }
        std::erase_if(pairs, [](const Pair& p) { return p.client < 0; });
    }
    for (Pair& p : pairs)
        closePair(p);
}
