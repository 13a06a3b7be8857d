#pragma once

#include "ReportsEntry.h"
#include "SearchParameters.h"

#include <QList>
#include <QString>
#include <QVariantList>

// What one report sets in the shared report skeleton: its title, statement, caption and the
// record lines written for each row.
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
    QString statement;
    QVariantList binds;
    QString captionPrefix;
    QList<Field> fields;

    // The definition of one of the six reports; the search report needs its parameters.
    static ReportDefinition forKind(ReportKind kind, const SearchParameters& search = {});
    // The search text as a LIKE prefix pattern in which the user's "%", "_" and "!" are plain
    // characters (the statement names "!" as its escape character).
    static QString likePrefix(const QString& search);
};
