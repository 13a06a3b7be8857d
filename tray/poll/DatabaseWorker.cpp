#include "poll/DatabaseWorker.h"

#include "WorkerThread.h"

namespace hv {

void DatabaseWorker::readTooltip(const ServerList& servers, const DatabaseAccess& access) {
    if (WorkerThread::stopping()) return;
    emit tooltipRead(TrayStore(servers, access).readTooltip());
}

void DatabaseWorker::poll(const ServerList& servers, const DatabaseAccess& access, bool withTooltip) {
    if (WorkerThread::stopping()) return;
    TrayStore(servers, access)
        .poll(
            withTooltip, [this](const PollResult& r) { emit alertsRead(r); },
            [this](const TooltipResult& t) { emit tooltipRead(t); }, &m_cancelled);
}

} // namespace hv
