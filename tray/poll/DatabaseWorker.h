#pragma once

#include "DeliveryLog.h"
#include "ServerList.h"
#include "TrayStore.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

namespace hv {

// The tray client's database work, on a thread of its own: the tooltip read at start, every poll,
// and what the workstation owes the delivery tables (its check-ins, and a receipt for every alert
// it showed). Its connections are made and closed on that thread; results leave it as signals.
class DatabaseWorker : public QObject {
    Q_OBJECT
public:
    explicit DatabaseWorker(WorkstationIdentity identity = WorkstationIdentity::current());

    // The tooltip, then the first check-in on the same connection.
    void readTooltip(const ServerList& servers, const DatabaseAccess& access, const AudioState& audio = {});
    // The poll; once its alerts are on their way to the window, on the same connection, what is
    // owed to the delivery tables (the check-in when due says `audio`).
    void poll(const ServerList& servers, const DatabaseAccess& access, bool withTooltip, const AudioState& audio = {});
    // The receipts for the alerts a poll showed first, written as soon as their ring has ended.
    void recordShown(const ServerList& servers, const DatabaseAccess& access, const QList<ShownAlert>& alerts,
                     const QElapsedTimer& shownAt, const RingReport& ring, const QElapsedTimer& rangAt);
    // The user closed the popup that showed these alerts.
    void recordClosed(const ServerList& servers, const DatabaseAccess& access, const QList<ShownAlert>& alerts,
                      const QElapsedTimer& closedAt);

    const DeliveryLog& deliveryLog() const { return m_log; }

signals:
    void alertsRead(const hv::PollResult& result);
    void tooltipRead(const hv::TooltipResult& result);
    // After alertsRead, when alerts are current: whether the site has them read aloud.
    void readAloudRead(bool on);

private:
    DeliveryLog m_log;
    // Kept from poll to poll on this thread.
    CancelledAlerts m_cancelled;
};

} // namespace hv
