#pragma once

#include "AudioState.h"
#include "DeliveryWrites.h"
#include "ServerList.h"
#include "TrayStore.h"
#include "alerts/LiveAlerts.h"
#include "platform/Platform.h"

#include <functional>

namespace hv {

// The tray client's database work, done on its database thread: the tooltip read at start, every
// poll, and the delivery writes that the live-alert picture owes (receipts and closes), with the
// check-in riding on a poll's connection about once a minute. It keeps what belongs to that thread
// alone (which poll statement the server takes, when the next check-in is due); results leave as
// values. The alerts leave first, so that neither a locked settings table nor the writes after
// them hold up an alert.
class DatabaseWorker {
public:
    DatabaseWorker(ServerList servers, DatabaseAccess access, WorkstationIdentity identity = thisWorkstation());

    // What one poll hands back, each as soon as it is known.
    struct PollAnswers {
        std::function<void(const PollSnapshot&)> alerts;
        std::function<void(const TooltipResult&)> tooltip;
        std::function<void(const LiveAlerts::BatchResult&)> written;
    };
    // The poll; then, while the server still answers on the same connection, the tooltip when
    // asked for and the writes owed, and the check-in when it is due (it says `audio` and `wake`).
    // A receipt of an alert that came by wake-up and that no poll had shown goes only if this
    // poll found its alert.
    void poll(bool withTooltip, const AudioState& audio, const WakeState& wake, const LiveAlerts::Batch& owed,
              const PollAnswers& answers);
    // The tooltip alone, as read at start, then the first check-in on the same connection.
    TooltipResult readTooltip(const AudioState& audio, const WakeState& wake = {});
    // The writes owed right after a ring or a close, on a connection of their own; a check-in
    // that is due goes with them. Nothing is sent when nothing is owed.
    LiveAlerts::BatchResult writeNow(const LiveAlerts::Batch& owed);

    CheckIn& checkIn() { return m_checkIn; }
    TrayStore& store() { return m_store; }

    // The writes in order on one connection: receipts, closes, then the check-in when due; the
    // writing stops where the server stops answering. With a poll's snapshot, receipts that wait
    // for their alert to be confirmed go only when the snapshot holds it; without one, never.
    LiveAlerts::BatchResult write(Connection& connection, const LiveAlerts::Batch& owed,
                                  const PollSnapshot* confirming = nullptr);

private:
    TrayStore m_store;
    DatabaseAccess m_access;
    CheckIn m_checkIn;
};

} // namespace hv
