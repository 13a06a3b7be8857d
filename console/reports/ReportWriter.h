#pragma once

#include "DatabaseAccess.h"
#include "reports/ReportDefinition.h"

#include <QDate>
#include <QString>

namespace hv {

class DatabaseRunner;
class PrinterPort;

// The report skeleton shared by all six reports: writes the report file for one definition.
class ReportWriter {
public:
    static const QString kBlankLine;
    static const QString kRuleLine;
    static const QString kEmptyResultLine;

    // The rows are read through `db`; the file and the printer are used on the caller's thread.
    ReportWriter(QString connectionString, DatabaseRunner& db, const PrinterPort& printer, QDate printDate,
                 DatabaseAccess access = {});

    // Writes the whole file and returns the number of records listed. Failures leave the file
    // closed with the lines written so far.
    qint64 write(const ReportDefinition& report);

    static QString totalLine(qint64 count);
    static QString recordLine(const QString& label, int valueColumn, const QString& value);

private:
    QString m_connectionString;
    DatabaseAccess m_access;
    DatabaseRunner& m_db;
    const PrinterPort& m_printer;
    QDate m_printDate;
};

} // namespace hv
