#include "poll/DatabaseWorker.h"

#include "WorkerThread.h"

namespace hv {

DatabaseWorker::DatabaseWorker(WorkstationIdentity identity)
    : m_log(std::move(identity), QStringLiteral(HALVANE_VERSION)) {}

void DatabaseWorker::readTooltip(const ServerList& servers, const DatabaseAccess& access, const AudioState& audio) {
    if (WorkerThread::stopping()) return;
    m_log.setAudioState(audio);
    emit tooltipRead(TrayStore(servers, access).readTooltip([this](Connection& c) { m_log.writeOn(c); }));
}

void DatabaseWorker::poll(const ServerList& servers, const DatabaseAccess& access, bool withTooltip,
                          const AudioState& audio) {
    if (WorkerThread::stopping()) return;
    m_log.setAudioState(audio);
    TrayStore(servers, access)
        .poll(
            withTooltip,
            [this](const PollResult& r) {
                emit alertsRead(r);
                if (r.failure)
                    m_log.pollFailed(*r.failure);
                else if (r.skipped)
                    m_log.pollFailed(*r.skipped);
            },
            [this](const TooltipResult& t) { emit tooltipRead(t); }, [this](Connection& c) { m_log.writeOn(c); },
            &m_cancelled, [this](bool on) { emit readAloudRead(on); });
}

void DatabaseWorker::recordShown(const ServerList& servers, const DatabaseAccess& access,
                                 const QList<ShownAlert>& alerts, const QElapsedTimer& shownAt, const RingReport& ring,
                                 const QElapsedTimer& rangAt) {
    m_log.shown(alerts, shownAt, ring, rangAt);
    if (!WorkerThread::stopping()) m_log.writeNow(servers, access);
}

void DatabaseWorker::recordClosed(const ServerList& servers, const DatabaseAccess& access,
                                  const QList<ShownAlert>& alerts, const QElapsedTimer& closedAt) {
    m_log.closed(alerts, closedAt);
    if (!WorkerThread::stopping()) m_log.writeNow(servers, access);
}

} // namespace hv
