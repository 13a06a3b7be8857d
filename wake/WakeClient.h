#pragma once

#include "WakeSettings.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class QSocketNotifier;
class QRandomGenerator;
struct mosquitto;
struct mosquitto_message;

namespace hv {

// One subscriber's connection to the site's brokers: the first broker that takes it, in the order
// halvane.ini names them, kept open and re-made when it drops. A fleet loses a broker all at once,
// so a lost connection is tried again after a random wait, and every round of the brokers that
// fails doubles the wait, each drawn at random, so that the clients return spread out instead of
// all in the same second. Driven by the thread's event loop (socket notifiers and timers, never a
// blocking wait but for the name lookup), so that one thread can hold one client (the tray
// client's) or thousands (the bench). Every message of the topic leaves as it came; what it says
// is for the receiver to judge.
class WakeClient : public QObject {
    Q_OBJECT
public:
    // After a lost connection, the first try comes within this.
    static constexpr int kFirstRetryMs = 5000;
    // Rounds that failed wait [b/2, b] with b doubling from kRoundRetryMs up to kLongestRetryMs.
    static constexpr int kRoundRetryMs = 4000;
    static constexpr int kLongestRetryMs = 60000;
    // A broker that neither takes nor refuses the connection in this time is given up for the next.
    static constexpr int kConnectTimeoutMs = 10000;
    // A connection silent for one and a half times this is dead (the library's keep-alive).
    static constexpr int kKeepAliveSeconds = 30;
    // How often the library's keep-alive and time-outs are looked after.
    static constexpr int kMiscMs = 5000;

    WakeClient(WakeSettings settings, QString clientId, QObject* parent = nullptr);
    ~WakeClient() override;

    // Starts connecting; call on the thread the client lives on.
    void start();
    // Leaves the broker and tries no more.
    void stop();

    bool isConnected() const { return m_state == State::Connected; }
    // The broker it is connected to, "host:port"; empty while it is not.
    QString broker() const;

    // The wait after `failedRounds` rounds of the brokers that all failed (0: the connection was
    // lost a moment ago).
    static int retryDelayMs(int failedRounds, QRandomGenerator& random);

    // Where the socket is watched by someone else than the thread's event loop (one epoll for the
    // bench's thousands of clients, whose poll() over every socket would cost more than the
    // messages): told the socket and whether it wants writing whenever either changes (-1: none);
    // that watcher then calls readable() and writable(). Set before start().
    using SocketWatcher = std::function<void(int fd, bool wantWrite)>;
    void setSocketWatcher(SocketWatcher watcher) { m_watcher = std::move(watcher); }
    void readable();
    void writable();

signals:
    // Subscribed: messages from now on reach this client.
    void connected(const QString& broker);
    // The connection ended, or a broker refused it: why, in a few words.
    void disconnected(const QString& why);
    void received(const QByteArray& payload);

private:
    enum class State { Stopped, Connecting, Subscribing, Connected, Waiting };

    static void onConnect(mosquitto*, void* self, int rc);
    static void onSubscribe(mosquitto*, void* self, int mid, int count, const int* granted);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void onDisconnect(mosquitto*, void* self, int rc);

    void attempt();
    void watchSocket();
    void misc();
    // After every call into the library: what its callbacks said, and whether the socket wants writing.
    void afterIo(int rc);
    void ended(const QString& why);
    void scheduleRetry(int ms);
    void forgetSocket();
    void drop();

    WakeSettings m_settings;
    QByteArray m_clientId;
    QByteArray m_topic;
    mosquitto* m_mosq = nullptr;
    int m_fd = -1;
    QSocketNotifier* m_read = nullptr;
    QSocketNotifier* m_write = nullptr;
    SocketWatcher m_watcher;
    bool m_watchedWrite = false;
    QTimer m_misc;
    QTimer m_retry;
    QTimer m_connectTimeout;
    State m_state = State::Stopped;
    int m_brokerIndex = 0;
    int m_failedRounds = 0;
    // What the callbacks said during the last call into the library; acted on after it returns,
    // since the library may not be torn down from inside its own callbacks.
    QString m_endedWhy;
    bool m_ended = false;
};

} // namespace hv
