#pragma once

#include "reports/ReportDefinition.h"

#include <QDate>
#include <QString>

namespace hv {

class ConsoleDatabase;
class PrinterPort;

// The report skeleton shared by all six reports: writes the report file for one definition.
class ReportWriter {
public:
    static const QString kBlankLine;
    static const QString kRuleLine;
    static const QString kEmptyResultLine;
    // The lines a cancelled alert's record ends with, aligned with the record's own values.
    static const QString kCancelledByLabel;
    static const QString kCancelledAtLabel;
    static const QString kAudienceLabel;
    static const QString kAnswersLabel;
    static constexpr int kCancelledColumn = 16;

    // The rows are read on the database thread and written to the file as they arrive; the
    // printer is asked on the caller's thread.
    ReportWriter(ConsoleDatabase& db, const PrinterPort& printer, QDate printDate);

    // Writes the whole file and returns the number of records listed. Failures leave the file
    // closed with the lines written so far.
    qint64 write(const ReportDefinition& report);

    static QString totalLine(qint64 count);
    static QString recordLine(const QString& label, int valueColumn, const QString& value);

private:
    ConsoleDatabase& m_db;
    const PrinterPort& m_printer;
    QDate m_printDate;
};

} // namespace hv
