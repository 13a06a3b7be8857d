#include "poll/DatabaseWorker.h"

#include "WorkerThread.h"

namespace hv {

void DatabaseWorker::readTooltip(const ServerList& servers) {
    if (WorkerThread::stopping()) return;
    emit tooltipRead(TrayStore(servers).readTooltip());
}

void DatabaseWorker::poll(const ServerList& servers, bool withTooltip) {
    if (WorkerThread::stopping()) return;
    TrayStore(servers).poll(
        withTooltip, [this](const PollResult& r) { emit alertsRead(r); },
        [this](const TooltipResult& t) { emit tooltipRead(t); });
}

} // namespace hv
