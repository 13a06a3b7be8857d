#include "poll/DatabaseWorker.h"

#include "WorkerThread.h"

namespace hv {

void DatabaseWorker::readTooltip(const QString& connectionString) {
    if (WorkerThread::stopping()) return;
    emit tooltipRead(TrayStore(connectionString).readTooltip());
}

void DatabaseWorker::poll(const QString& connectionString, bool withTooltip) {
    if (WorkerThread::stopping()) return;
    TrayStore(connectionString)
        .poll(
            withTooltip, [this](const PollResult& r) { emit alertsRead(r); },
            [this](const TooltipResult& t) { emit tooltipRead(t); }, [this](bool on) { emit readAloudRead(on); });
}

} // namespace hv
