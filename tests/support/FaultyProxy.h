#pragma once

#include <QString>
#include <atomic>
#include <mutex>
#include <thread>

// A TCP relay between a test's client and a real server that can lose, once, the answer to a
// COMMIT (the server has committed; the client never hears, as when a connection breaks at that
// moment) or the COMMIT itself (the server rolls back). Everything else passes through unchanged.
// Runs on a thread of its own, so that a client on the test's thread may block on it.
class FaultyProxy {
public:
    enum class Fault { None, LoseCommitAnswer, LoseCommit };

    FaultyProxy(QString targetHost, int targetPort);
    ~FaultyProxy();
    FaultyProxy(const FaultyProxy&) = delete;
    FaultyProxy& operator=(const FaultyProxy&) = delete;

    // Listens on a free port of 127.0.0.1; the reason on failure.
    bool start(QString* error);
    int port() const { return m_port; }
    // The next COMMIT that passes meets the fault, once.
    void arm(Fault fault) { m_fault = fault; }
    bool fired() const { return m_fired; }
    // New connections are refused from now on (the server out of reach); open ones are cut.
    void refuse() { m_refusing = true; }

private:
    void loop();

    QString m_targetHost;
    int m_targetPort;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<Fault> m_fault{Fault::None};
    std::atomic<bool> m_fired{false};
    std::atomic<bool> m_refusing{false};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
