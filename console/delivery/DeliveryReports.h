#pragma once

#include "DeliveryStore.h"
#include "reports/ReportDefinition.h"

#include <QDateTime>
#include <QList>

namespace hv {

class DeliveryBreakdown;

// The delivery window and the workstations window as plain-text reports, written through the
// shared report skeleton from the rows the window shows.
class DeliveryReports {
public:
    // One record per workstation and group, group by group, after the counts.
    static ReportDefinition delivery(const DeliveryStore::Delivery& delivery, const DeliveryBreakdown& breakdown);
    // One record per workstation, after the counts.
    static ReportDefinition workstations(const QList<DeliveryStore::Workstation>& workstations,
                                         const QDateTime& serverNow);

    // Who cancelled the alert, on which computer, and when, in one line.
    static QString cancellationLine(const DeliveryStore::Cancellation& c);

    // What the workstations window and its report say of a workstation.
    static QString stateText(const DeliveryStore::Workstation& w);
    static QString soundText(const DeliveryStore::Workstation& w);
    static QString volumeText(const DeliveryStore::Workstation& w);
    static QString muteText(const DeliveryStore::Workstation& w);
    static QString lastCheckInText(const DeliveryStore::Workstation& w, const QDate& today);
    static QString lastFailureText(const DeliveryStore::Workstation& w, const QDate& today);
    // "connected to HOST:PORT", "not connected", with what it dropped or had taken down; empty for
    // a workstation without a wake-up channel.
    static QString wakeUpText(const DeliveryStore::Workstation& w);
    // "10.0.0.5", or with the others that reported as the same workstation at the same time.
    static QString addressText(const DeliveryStore::Workstation& w);
    // "cancellations, traysettings": what its poll cannot read.
    static QString cannotReadText(const DeliveryStore::Workstation& w);
};

} // namespace hv
