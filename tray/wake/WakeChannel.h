#pragma once

#include "WakeMessage.h"
#include "WakeSettings.h"
#include "WakeState.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <functional>

class QThread;

namespace hv {

class WakeClient;

// The tray client's end of the wake-up channel: one connection to the site's brokers on a thread
// of its own (a broker's name lookup must never hold up the window thread), and the judgement of
// every message that comes: only a message of this format, this site and a plausible time goes
// on, as an alert or a cancellation; anything else is counted as dropped and never shown. What
// goes on reaches the live-alert picture through the poller; the connection's state goes into the
// check-ins.
class WakeChannel : public QObject {
    Q_OBJECT
public:
    // now: the workstation's clock, for the plausibility of a message's time.
    WakeChannel(WakeSettings settings, QString clientId, std::function<QDateTime()> now = {},
                QObject* parent = nullptr);
    ~WakeChannel() override;

    void start();
    // Leaves the broker; false when the channel's thread did not end by the deadline (a name
    // lookup that hangs) and was left to end on its own.
    bool shutdown(QDeadlineTimer deadline);

    WakeState state() const;

    // The workstation's name, which an alert's audience is judged by.
    void setHostName(const QString& hostName) { m_hostName = hostName; }

    // One message as it came; what the channel does with it.
    void take(const QByteArray& payload);

    // "morvik-HOST-USER-" and a random tail, so that two desks never share a session.
    static QString clientIdFor(const QString& hostName, const QString& desktopUser);

signals:
    void woken(const hv::WakeMessage& message);
    void connectedChanged(bool connected);

private:
    WakeSettings m_settings;
    std::function<QDateTime()> m_now;
    QThread* m_thread = nullptr;
    WakeClient* m_client = nullptr; // lives on m_thread
    bool m_connected = false;
    QString m_broker;
    QString m_hostName;
    QElapsedTimer m_connectedAt;
    qint64 m_received = 0;
    qint64 m_dropped = 0;
    bool m_warnedRefused = false;
};

} // namespace hv
