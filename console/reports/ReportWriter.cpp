#include "reports/ReportWriter.h"

#include "Connection.h"
#include "Formats.h"
#include "reports/PrinterPort.h"
#include "reports/ReportFile.h"
#include "shared/ConsoleDatabase.h"

#include <QSqlRecord>

namespace hv {

const QString ReportWriter::kBlankLine = QStringLiteral(" ");
const QString ReportWriter::kRuleLine = QString(79, u'_');
const QString ReportWriter::kEmptyResultLine = QStringLiteral("No Records Matching Query");
const QString ReportWriter::kCancelledByLabel = QStringLiteral("Cancelled By:");
const QString ReportWriter::kCancelledAtLabel = QStringLiteral("Cancelled At:");
const QString ReportWriter::kAudienceLabel = QStringLiteral("Audience:");
const QString ReportWriter::kAnswersLabel = QStringLiteral("Answers:");

ReportWriter::ReportWriter(ConsoleDatabase& db, const PrinterPort& printer, QDate printDate)
    : m_db(db), m_printer(printer), m_printDate(printDate) {}

QString ReportWriter::totalLine(qint64 count) {
    return QStringLiteral("Total Number Of Records: (") + formatGrouped(count) + u')';
}

QString ReportWriter::recordLine(const QString& label, int valueColumn, const QString& value) {
    return label.leftJustified(valueColumn - 1, u' ') + value;
}

namespace {

QString valueText(const QSqlRecord& row, const ReportDefinition::Field& field) {
    const QVariant v = row.value(columnIndex(row, field.column));
    if (v.isNull()) return {};
    switch (field.format) {
    case ReportDefinition::Format::MonthDayYear:
        return formatMonthDayYear(v.toDate());
    case ReportDefinition::Format::AmPm:
        return formatAmPm(v.toTime());
    case ReportDefinition::Format::Text:
        break;
    }
    return v.toString();
}

} // namespace

qint64 ReportWriter::write(const ReportDefinition& report) {
    ReportFile file;
    m_printer.access();
    file.writeLine(kBlankLine);
    m_printer.access();
    file.writeLine(report.title);
    for (int i = 0; i < report.blankLinesAfterTitle; ++i)
        file.writeLine(kBlankLine);
    file.writeLine(QStringLiteral("Print Date: ") + formatShortDate(m_printDate));
    file.writeLine(kBlankLine);
    file.writeLine(kRuleLine);
    if (!report.summary.isEmpty()) {
        for (const QString& line : report.summary)
            file.writeLine(line);
        file.writeLine(kRuleLine);
    }

    // Counted wide: a report of more than 32,767 rows lists and counts every one of them. The
    // lines go into the file as the rows arrive, on the database thread.
    qint64 intRecordCount = 0;
    QHash<qint64, ReportStore::Cancellation> cancelled;
    QHash<qint64, QString> audiences;
    QHash<qint64, QString> answers;
    const auto writeRecord = [&](const QSqlRecord& row) {
        for (const ReportDefinition::Field& field : report.fields)
            file.writeLine(recordLine(field.label, field.valueColumn, valueText(row, field)));
        // An alert for every workstation keeps the record it always had.
        if (!audiences.isEmpty()) {
            const auto a = audiences.constFind(row.value(columnIndex(row, QStringLiteral("ID"))).toLongLong());
            if (a != audiences.constEnd()) file.writeLine(recordLine(kAudienceLabel, kCancelledColumn, *a));
        }
        if (!answers.isEmpty()) {
            const auto a = answers.constFind(row.value(columnIndex(row, QStringLiteral("ID"))).toLongLong());
            if (a != answers.constEnd()) file.writeLine(recordLine(kAnswersLabel, kCancelledColumn, *a));
        }
        if (!cancelled.isEmpty()) {
            const auto c = cancelled.constFind(row.value(columnIndex(row, QStringLiteral("ID"))).toLongLong());
            if (c != cancelled.constEnd()) {
                file.writeLine(recordLine(kCancelledByLabel, kCancelledColumn, c->by));
                file.writeLine(recordLine(kCancelledAtLabel, kCancelledColumn,
                                          formatMonthDayYear(c->at.date()) + u' ' + formatAmPm(c->at.time(), true)));
            }
        }
        file.writeLine(kRuleLine);
        ++intRecordCount;
    };
    if (report.rows) {
        for (const QSqlRecord& row : *report.rows)
            writeRecord(row);
    } else {
        m_db.run<ReportStore>([&](ReportStore& store) {
            if (report.withCancellations) {
                cancelled = store.readCancellations();
                audiences = store.readAudiences();
                answers = store.readAnswers();
            }
            store.readRows(report.query, writeRecord);
        });
    }

    file.writeLine(kBlankLine);
    file.writeLine(kBlankLine);
    file.writeLine(totalLine(intRecordCount));
    if (intRecordCount == 0) file.writeLine(kEmptyResultLine);
    file.close();
    return intRecordCount;
}

} // namespace hv
