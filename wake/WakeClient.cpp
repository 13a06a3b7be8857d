#include "WakeClient.h"

#include "Mosquitto.h"

#include <QRandomGenerator>
#include <QSocketNotifier>
#include <mosquitto.h>

namespace hv {

namespace {

WakeClient* owner(void* self) {
    return static_cast<WakeClient*>(self);
}

} // namespace

WakeClient::WakeClient(WakeSettings settings, QString clientId, QObject* parent)
    : QObject(parent), m_settings(std::move(settings)), m_clientId(clientId.toUtf8()),
      m_topic(m_settings.topic().toUtf8()), m_misc(this), m_retry(this), m_connectTimeout(this) {
    // The library's keep-alive and its time-outs advance only when it is asked to; a few seconds
    // against a keep-alive of half a minute is plenty, and a coarse timer lets thousands of clients
    // of one thread (the bench's) share each wake-up of the thread.
    m_misc.setInterval(kMiscMs);
    m_misc.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_misc, &QTimer::timeout, this, &WakeClient::misc);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (m_state == State::Waiting) attempt();
    });
    m_connectTimeout.setSingleShot(true);
    m_connectTimeout.setInterval(kConnectTimeoutMs);
    connect(&m_connectTimeout, &QTimer::timeout, this, [this] {
        if (m_state == State::Connecting || m_state == State::Subscribing)
            ended(QStringLiteral("no answer within %1 s").arg(kConnectTimeoutMs / 1000));
    });
}

WakeClient::~WakeClient() {
    stop();
}

QString WakeClient::broker() const {
    if (m_state != State::Connected || m_brokerIndex >= m_settings.brokers.size()) return {};
    return m_settings.brokers[m_brokerIndex].text();
}

int WakeClient::retryDelayMs(int failedRounds, QRandomGenerator& random) {
    if (failedRounds <= 0) return 500 + int(random.bounded(kFirstRetryMs - 500));
    const int shift = qMin(failedRounds - 1, 8);
    const int longest = qMin(kLongestRetryMs, kRoundRetryMs << shift);
    return longest / 2 + int(random.bounded(longest / 2 + 1));
}

void WakeClient::start() {
    if (m_state != State::Stopped || m_settings.brokers.isEmpty()) return;
    m_brokerIndex = 0;
    m_failedRounds = 0;
    m_misc.start();
    attempt();
}

void WakeClient::stop() {
    if (m_state == State::Stopped) return;
    const bool wasConnected = m_state == State::Connected;
    m_state = State::Stopped;
    m_retry.stop();
    m_misc.stop();
    m_connectTimeout.stop();
    if (m_mosq && wasConnected) {
        // A polite goodbye when the socket takes it at once; nothing waits for it.
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_write(m_mosq, 1);
    }
    drop();
}

void WakeClient::attempt() {
    drop();
    const WakeBroker& b = m_settings.brokers[m_brokerIndex];
    QString why;
    m_mosq = mqtt::newClient(m_settings, m_clientId, this, false, &why);
    if (!m_mosq) {
        m_state = State::Connecting;
        ended(why);
        return;
    }
    mosquitto_connect_callback_set(m_mosq, &WakeClient::onConnect);
    mosquitto_subscribe_callback_set(m_mosq, &WakeClient::onSubscribe);
    mosquitto_message_callback_set(m_mosq, &WakeClient::onMessage);
    mosquitto_disconnect_callback_set(m_mosq, &WakeClient::onDisconnect);
    m_state = State::Connecting;
    m_ended = false;
    const QByteArray host = b.host.toUtf8();
    const int rc = mosquitto_connect_async(m_mosq, host.constData(), b.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        ended(mqtt::errorText(rc));
        return;
    }
    m_connectTimeout.start();
    watchSocket();
    afterIo(MOSQ_ERR_SUCCESS);
}

void WakeClient::watchSocket() {
    m_fd = mosquitto_socket(m_mosq);
    if (m_fd < 0) return;
    if (m_watcher) {
        m_watchedWrite = mosquitto_want_write(m_mosq);
        m_watcher(m_fd, m_watchedWrite);
        return;
    }
    m_read = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_read, &QSocketNotifier::activated, this, &WakeClient::readable);
    m_write = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
    connect(m_write, &QSocketNotifier::activated, this, &WakeClient::writable);
}

void WakeClient::readable() {
    if (!m_mosq) return;
    afterIo(mosquitto_loop_read(m_mosq, 1));
}

void WakeClient::writable() {
    if (!m_mosq) return;
    afterIo(mosquitto_loop_write(m_mosq, 1));
}

void WakeClient::misc() {
    if (!m_mosq || m_state == State::Waiting) return;
    afterIo(mosquitto_loop_misc(m_mosq));
}

void WakeClient::afterIo(int rc) {
    if (!m_mosq || m_state == State::Stopped) return;
    // Negative numbers are no failures (a connection still being made).
    if (m_ended || rc > 0) {
        ended(m_ended ? m_endedWhy : mqtt::errorText(rc));
        return;
    }
    // The library closes and opens sockets itself only through calls this client makes; a
    // socket that changed under it is a connection to watch afresh.
    if (mosquitto_socket(m_mosq) != m_fd) {
        forgetSocket();
        watchSocket();
    }
    if (m_write) m_write->setEnabled(mosquitto_want_write(m_mosq));
    if (m_watcher && m_fd >= 0 && mosquitto_want_write(m_mosq) != m_watchedWrite) {
        m_watchedWrite = !m_watchedWrite;
        m_watcher(m_fd, m_watchedWrite);
    }
}

void WakeClient::onConnect(mosquitto* m, void* self, int rc) {
    WakeClient* c = owner(self);
    if (rc != 0) {
        c->m_ended = true;
        c->m_endedWhy = QStringLiteral("the broker refused the connection: %1")
                            .arg(QString::fromUtf8(mosquitto_connack_string(rc)));
        return;
    }
    c->m_state = State::Subscribing;
    const int sub = mosquitto_subscribe(m, nullptr, c->m_topic.constData(), 0);
    if (sub != MOSQ_ERR_SUCCESS) {
        c->m_ended = true;
        c->m_endedWhy = QStringLiteral("the subscription could not be asked for: %1").arg(mqtt::errorText(sub));
    }
}

void WakeClient::onSubscribe(mosquitto*, void* self, int, int count, const int* granted) {
    WakeClient* c = owner(self);
    // 0x80: the broker will send nothing of this topic to this account.
    if (count < 1 || granted[0] > 2) {
        c->m_ended = true;
        c->m_endedWhy = QStringLiteral("the broker refused the subscription to %1").arg(QString::fromUtf8(c->m_topic));
        return;
    }
    c->m_state = State::Connected;
    c->m_connectTimeout.stop();
    c->m_failedRounds = 0;
    emit c->connected(c->m_settings.brokers[c->m_brokerIndex].text());
}

void WakeClient::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    WakeClient* c = owner(self);
    if (c->m_state != State::Connected || !message || message->payloadlen < 0) return;
    emit c->received(QByteArray(static_cast<const char*>(message->payload), message->payloadlen));
}

void WakeClient::onDisconnect(mosquitto*, void* self, int rc) {
    WakeClient* c = owner(self);
    if (c->m_ended) return;
    c->m_ended = true;
    c->m_endedWhy = rc == 0 ? QStringLiteral("the connection was closed") : mqtt::errorText(rc);
}

void WakeClient::ended(const QString& why) {
    const bool wasConnected = m_state == State::Connected;
    const QString broker = m_settings.brokers.value(m_brokerIndex).text();
    drop();
    m_state = State::Waiting;
    emit disconnected(broker + QStringLiteral(": ") + why);
    if (m_state != State::Waiting) return; // stopped by a receiver of the signal
    if (wasConnected) {
        // Everyone lost this broker at the same moment; the preferred one is tried first again.
        m_brokerIndex = 0;
        scheduleRetry(retryDelayMs(0, *QRandomGenerator::global()));
        return;
    }
    if (++m_brokerIndex < m_settings.brokers.size()) {
        attempt();
        return;
    }
    m_brokerIndex = 0;
    scheduleRetry(retryDelayMs(++m_failedRounds, *QRandomGenerator::global()));
}

void WakeClient::scheduleRetry(int ms) {
    m_retry.start(ms);
}

void WakeClient::forgetSocket() {
    if (m_watcher && m_fd >= 0) m_watcher(-1, false);
    // Possibly from inside one of their own signals: they go once it has returned.
    for (QSocketNotifier* n : {m_read, m_write}) {
        if (!n) continue;
        n->setEnabled(false);
        n->deleteLater();
    }
    m_read = m_write = nullptr;
    m_fd = -1;
}

void WakeClient::drop() {
    m_connectTimeout.stop();
    forgetSocket();
    if (m_mosq) {
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
    }
    m_ended = false;
    m_endedWhy.clear();
}

} // namespace hv
