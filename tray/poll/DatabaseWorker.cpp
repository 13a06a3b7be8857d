#include "poll/DatabaseWorker.h"

#include "WorkerThread.h"

namespace hv {

void DatabaseWorker::readTooltip(const QString& connectionString, const DatabaseAccess& access) {
    if (WorkerThread::stopping()) return;
    emit tooltipRead(TrayStore(connectionString, access).readTooltip());
}

void DatabaseWorker::poll(const QString& connectionString, const DatabaseAccess& access, bool withTooltip) {
    if (WorkerThread::stopping()) return;
    TrayStore(connectionString, access)
        .poll(
            withTooltip, [this](const PollResult& r) { emit alertsRead(r); },
            [this](const TooltipResult& t) { emit tooltipRead(t); }, [this](bool on) { emit readAloudRead(on); });
}

} // namespace hv
