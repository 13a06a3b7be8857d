#pragma once

#include <QDate>
#include <QString>

namespace hv {

// What the search dialog hands to the search report: dtStartDate, dtEndDate and strSearch.
struct SearchParameters {
    QDate dtStartDate;
    QDate dtEndDate;
    QString strSearch;
};

} // namespace hv
