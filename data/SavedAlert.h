#pragma once

#include "AlertPresentation.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>
#include <optional>

namespace hv {

// The workstations an alert is for, as the audience stood when it was sent: the host-name
// patterns of its members (see HostPattern.h).
struct AlertAudience {
    QString name;
    QStringList patterns;
    bool operator==(const AlertAudience&) const = default;
};

// One alert as it was stored: the numbers the database gave its alerts and AlertLog rows, and the
// date and minute that, with the alerts row's number, name it for good (a cancellation, a receipt).
struct SavedAlert {
    qint64 alertId = 0;
    qint64 logId = 0;
    QDate codeDate;
    QTime codeTime;
    QString codeName;
    QString codeLocation;
    // The operator's message; empty when none was typed (the column then keeps its default).
    QString codeMessage;
    QString comments;
    // Unset: every workstation (a code that reaches everyone, a location without an audience, a
    // database from before audiences).
    std::optional<AlertAudience> audience;
    // Unset: the balloon and one ring (a code without a presentation, a database from before them).
    std::optional<AlertPresentation> presentation;
};

} // namespace hv
