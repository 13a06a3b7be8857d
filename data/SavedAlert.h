#pragma once

#include <QDate>
#include <QString>
#include <QTime>

namespace hv {

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
};

} // namespace hv
