#include "wake/WakeChannel.h"

#include "WakeClient.h"

#include <QDebug>
#include <QMetaObject>
#include <QRandomGenerator>
#include <QThread>

namespace hv {

WakeChannel::WakeChannel(WakeSettings settings, QString clientId, std::function<QDateTime()> now, QObject* parent)
    : QObject(parent), m_settings(std::move(settings)), m_now(std::move(now)) {
    if (!m_now) m_now = [] { return QDateTime::currentDateTime(); };
    qRegisterMetaType<hv::WakeMessage>("hv::WakeMessage");
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("Morvik wake-up"));
    m_client = new WakeClient(m_settings, clientId);
    m_client->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_client, &QObject::deleteLater);
    connect(m_client, &WakeClient::received, this, &WakeChannel::take);
    connect(m_client, &WakeClient::connected, this, [this](const QString& broker) {
        m_connected = true;
        m_broker = broker;
        m_connectedAt.start();
        m_warnedRefused = false;
        emit connectedChanged(true);
    });
    connect(m_client, &WakeClient::disconnected, this, [this](const QString& why) {
        const bool was = m_connected;
        m_connected = false;
        m_broker.clear();
        // Said once per outage in the desktop session's log; the polls go on as always.
        if (was || !m_warnedRefused) qWarning().noquote() << "Morvik: wake-up channel:" << why;
        m_warnedRefused = true;
        if (was) emit connectedChanged(false);
    });
}

WakeChannel::~WakeChannel() {
    shutdown(QDeadlineTimer(1000));
}

void WakeChannel::start() {
    if (!m_thread || m_thread->isRunning()) return;
    m_thread->start();
    QMetaObject::invokeMethod(m_client, &WakeClient::start, Qt::QueuedConnection);
}

bool WakeChannel::shutdown(QDeadlineTimer deadline) {
    if (!m_thread) return true;
    QThread* thread = m_thread;
    m_thread = nullptr;
    if (!thread->isRunning()) {
        delete m_client;
        delete thread;
        return true;
    }
    QMetaObject::invokeMethod(m_client, &WakeClient::stop, Qt::QueuedConnection);
    thread->quit();
    if (thread->wait(deadline)) {
        delete thread;
        return true;
    }
    // It tidies itself away once the call that holds it returns.
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    return false;
}

WakeState WakeChannel::state() const {
    WakeState s;
    s.configured = true;
    s.connected = m_connected;
    s.broker = m_broker;
    s.connectedForMs = m_connected ? m_connectedAt.elapsed() : -1;
    s.received = m_received;
    s.dropped = m_dropped;
    return s;
}

void WakeChannel::take(const QByteArray& payload) {
    const ParsedWake parsed = WakeMessage::parse(payload, m_settings.site);
    if (!parsed.message || !parsed.message->plausibleAt(m_now())) {
        ++m_dropped;
        return;
    }
    ++m_received;
    // Another audience's alert: the poll leaves it out by the same patterns; nothing to show.
    if (parsed.message->kind == WakeMessage::Kind::Alert && !parsed.message->isFor(m_hostName)) return;
    emit woken(*parsed.message);
}

QString WakeChannel::clientIdFor(const QString& hostName, const QString& desktopUser) {
    return QStringLiteral("morvik-%1-%2-%3")
        .arg(hostName.left(64), desktopUser.left(64))
        .arg(QRandomGenerator::global()->generate() & 0xffffff, 6, 16, QLatin1Char('0'));
}

} // namespace hv
