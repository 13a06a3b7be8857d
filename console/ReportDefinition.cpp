#include "ReportDefinition.h"

#include "Formats.h"

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

QString ReportDefinition::likePrefix(const QString& search) {
    QString pattern;
    pattern.reserve(search.size() + 2);
    for (const QChar c : search) {
        if (c == u'!' || c == u'%' || c == u'_') pattern += u'!';
        pattern += c;
    }
    return pattern + u'%';
}

ReportDefinition ReportDefinition::forKind(ReportKind kind, const SearchParameters& search) {
    ReportDefinition d;
    switch (kind) {
    case ReportKind::AllAlerts:
        d.title = QStringLiteral("Complete List of All Halvane Records");
        d.blankLinesAfterTitle = 2;
        d.statement = QStringLiteral("Select * From AlertLog ORDER By CodeDate DESC, CodeTime DESC");
        d.captionPrefix = QStringLiteral("Complete List of All Halvane Records (");
        d.fields = alertLogFields();
        break;
    case ReportKind::SearchWithDateRange:
        d.title = QStringLiteral("Seach By: (") + search.strSearch + QStringLiteral(") With Date Range: (") +
                  hv::formatShortDate(search.dtStartDate) + QStringLiteral(") to (") +
                  hv::formatShortDate(search.dtEndDate) + u')';
        d.blankLinesAfterTitle = 2;
        // Prefix match on the code name, both dates inclusive; the dates travel as DATE values.
        d.statement =
            QStringLiteral("Select * From AlertLog WHERE CodeName LIKE ? ESCAPE '!' AND CodeDate Between ? AND ?");
        d.binds = {likePrefix(search.strSearch), search.dtStartDate, search.dtEndDate};
        d.captionPrefix = QStringLiteral("Complete List of All Halvane Records (");
        d.fields = alertLogFields();
        break;
    case ReportKind::AllUsers:
        d.title = QStringLiteral("Complete List of All Users");
        d.statement = QStringLiteral("Select * From users ORDER By UserName");
        d.captionPrefix = QStringLiteral("Complete List of All Users (");
        d.fields = {{QStringLiteral("User Name:"), 12, QStringLiteral("UserName")}};
        break;
    case ReportKind::AllCodes:
        d.title = QStringLiteral("Complete List of All Codes & Comments");
        d.statement = QStringLiteral("Select * From codes ORDER By CodeName");
        d.captionPrefix = QStringLiteral("Complete List of All Codes & Comments (");
        d.fields = {{QStringLiteral("Code Name:"), 16, QStringLiteral("CodeName")},
                    {QStringLiteral("Code Comments:"), 16, QStringLiteral("Comments")}};
        break;
    case ReportKind::AllLocations:
        d.title = QStringLiteral("Complete List of All Locations");
        d.statement = QStringLiteral("Select * From locations ORDER By CodeLocation");
        d.captionPrefix = QStringLiteral("Complete List of All Locations (");
        d.fields = {{QStringLiteral("Code Location:"), 16, QStringLiteral("CodeLocation")}};
        break;
    case ReportKind::TrayToolTip:
        d.title = QStringLiteral("The System Trays Application Tool Tip Text");
        d.statement = QStringLiteral("Select * From properties");
        d.captionPrefix = QStringLiteral("The System Trays Application Tool Tip Text (");
        d.fields = {{QStringLiteral("Tool Tip Text:"), 16, QStringLiteral("TraysToolTipText")}};
        break;
    }
    return d;
}
