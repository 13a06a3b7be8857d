#pragma once

#include <QDate>
#include <QString>
#include <QTime>

namespace hv {

// An alert as a receipt names it: the values of the alerts row the workstation showed, which the
// console finds again in the alert's log row after the live row has been purged.
struct ShownAlert {
    qint64 id = 0;
    QDate codeDate;
    QTime codeTime;
    QString codeName;
    QString codeLocation;
};

} // namespace hv
