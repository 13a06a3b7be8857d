#pragma once

#include "ReportStore.h"
#include "reports/ReportsEntry.h"
#include "reports/SearchParameters.h"

#include <QList>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <optional>

namespace hv {

// What one report sets in the shared report skeleton: its title, what it reads, its caption and
// the record lines written for each row.
struct ReportDefinition {
    enum class Format { Text, MonthDayYear, AmPm };
    struct Field {
        QString label;
        int valueColumn; // counted from 1
        QString column;
        Format format = Format::Text;
    };

    QString title;
    int blankLinesAfterTitle = 1;
    ReportStore::Query query;
    QString captionPrefix;
    QList<Field> fields;
    // Lines written after the rule line below the date, followed by a rule line of their own.
    QStringList summary;
    // Rows already read (a window's own snapshot); the query is not run then.
    std::optional<QList<QSqlRecord>> rows;
    // The rows are alert log rows: a cancelled alert's record says who cancelled it and when,
    // after its own lines.
    bool withCancellations = false;

    // The definition of one of the six reports; the search report needs its parameters.
    static ReportDefinition forKind(ReportKind kind, const SearchParameters& search = {});
    // A row of text columns for `rows`.
    static QSqlRecord textRow(const QStringList& columns, const QStringList& values);
};

} // namespace hv
