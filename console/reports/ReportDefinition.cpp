#include "reports/ReportDefinition.h"

#include "Formats.h"

#include <QSqlField>

namespace hv {

namespace {

using Field = ReportDefinition::Field;
using Format = ReportDefinition::Format;

QList<Field> alertLogFields() {
    return {
        {QStringLiteral("Code Date:"), 16, QStringLiteral("CodeDate"), Format::MonthDayYear},
        {QStringLiteral("Code Time:"), 16, QStringLiteral("CodeTime"), Format::AmPm},
        {QStringLiteral("Code Name:"), 16, QStringLiteral("CodeName")},
        {QStringLiteral("Code Location:"), 16, QStringLiteral("CodeLocation")},
        {QStringLiteral("Code Message:"), 16, QStringLiteral("CodeMessage")},
        {QStringLiteral("Code Comments:"), 16, QStringLiteral("Comments")},
    };
}

} // namespace

ReportDefinition ReportDefinition::forKind(ReportKind kind, const SearchParameters& search) {
    ReportDefinition d;
    switch (kind) {
    case ReportKind::AllAlerts:
        d.title = QStringLiteral("Complete List of All Halvane Records");
        d.blankLinesAfterTitle = 2;
        d.query = ReportStore::allAlerts();
        d.captionPrefix = QStringLiteral("Complete List of All Halvane Records (");
        d.fields = alertLogFields();
        d.withCancellations = true;
        break;
    case ReportKind::SearchWithDateRange:
        d.title = QStringLiteral("Seach By: (") + search.strSearch + QStringLiteral(") With Date Range: (") +
                  formatShortDate(search.dtStartDate) + QStringLiteral(") to (") + formatShortDate(search.dtEndDate) +
                  u')';
        d.blankLinesAfterTitle = 2;
        d.query = ReportStore::alertSearch(search.strSearch, search.dtStartDate, search.dtEndDate);
        d.captionPrefix = QStringLiteral("Complete List of All Halvane Records (");
        d.fields = alertLogFields();
        d.withCancellations = true;
        break;
    case ReportKind::AllUsers:
        d.title = QStringLiteral("Complete List of All Users");
        d.query = ReportStore::users();
        d.captionPrefix = QStringLiteral("Complete List of All Users (");
        d.fields = {{QStringLiteral("User Name:"), 12, QStringLiteral("UserName")}};
        break;
    case ReportKind::AllCodes:
        d.title = QStringLiteral("Complete List of All Codes & Comments");
        d.query = ReportStore::codes();
        d.captionPrefix = QStringLiteral("Complete List of All Codes & Comments (");
        d.fields = {{QStringLiteral("Code Name:"), 16, QStringLiteral("CodeName")},
                    {QStringLiteral("Code Comments:"), 16, QStringLiteral("Comments")}};
        break;
    case ReportKind::AllLocations:
        d.title = QStringLiteral("Complete List of All Locations");
        d.query = ReportStore::locations();
        d.captionPrefix = QStringLiteral("Complete List of All Locations (");
        d.fields = {{QStringLiteral("Code Location:"), 16, QStringLiteral("CodeLocation")}};
        break;
    case ReportKind::TrayToolTip:
        d.title = QStringLiteral("The System Trays Application Tool Tip Text");
        d.query = ReportStore::properties();
        d.captionPrefix = QStringLiteral("The System Trays Application Tool Tip Text (");
        d.fields = {{QStringLiteral("Tool Tip Text:"), 16, QStringLiteral("TraysToolTipText")}};
        break;
    }
    return d;
}

QSqlRecord ReportDefinition::textRow(const QStringList& columns, const QStringList& values) {
    QSqlRecord row;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        QSqlField field(columns[i], QMetaType(QMetaType::QString));
        field.setValue(values.value(i));
        row.append(field);
    }
    return row;
}

} // namespace hv
