#pragma once

#include "poll/TrayStore.h"

#include <QObject>
#include <QString>

namespace hv {

// The tray client's database work, on a thread of its own: the tooltip read at start and every
// poll. Its connections are made and closed on that thread; results leave it as signals.
class DatabaseWorker : public QObject {
    Q_OBJECT
public:
    DatabaseWorker() = default;

    void readTooltip(const QString& connectionString, const DatabaseAccess& access);
    void poll(const QString& connectionString, const DatabaseAccess& access, bool withTooltip);

signals:
    void alertsRead(const hv::PollResult& result);
    void tooltipRead(const hv::TooltipResult& result);
    // After alertsRead, when alerts are current: whether the site has them read aloud.
    void readAloudRead(bool on);
};

} // namespace hv
