#pragma once

#include <QDate>
#include <QString>
#include <QTime>

namespace hv {

// One row of AlertLog, NULL read as the empty text or an invalid date or time.
struct LoggedAlert {
    qint64 id = 0;
    QString codeName;
    QString codeMessage;
    QDate codeDate;
    QTime codeTime;
    QString codeLocation;
    QString comments;
};

} // namespace hv
