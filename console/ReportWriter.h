#pragma once

#include "ReportDefinition.h"

#include <QDate>
#include <QString>

class PrinterPort;

// The report skeleton shared by all six reports: writes the report file for one definition.
class ReportWriter {
public:
    static const QString kBlankLine;
    static const QString kRuleLine;
    static const QString kEmptyResultLine;

    ReportWriter(QString connectionString, const PrinterPort& printer, QDate printDate);

    // Writes the whole file and returns the number of records listed. Failures leave the file
    // closed with the lines written so far.
    qint64 write(const ReportDefinition& report);

    static QString totalLine(qint64 count);
    static QString recordLine(const QString& label, int valueColumn, const QString& value);

private:
    QString m_connectionString;
    const PrinterPort& m_printer;
    QDate m_printDate;
};
