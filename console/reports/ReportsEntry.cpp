#include "reports/ReportsEntry.h"

#include "Handler.h"
#include "reports/PrinterPort.h"
#include "reports/ReportDefinition.h"
#include "reports/ReportFile.h"
#include "reports/ReportViewer.h"
#include "reports/ReportWriter.h"
#include "reports/SearchDialog.h"
#include "shared/ConsoleContext.h"
#include "shared/FailureTable.h"
#include "widgets/Hourglass.h"

#include <QPlainTextEdit>
#include <QWidget>

namespace hv {

void runReport(ReportKind kind, ConsoleContext& ctx, QWidget* adminWindow) {
    SearchParameters search;
    if (kind == ReportKind::SearchWithDateRange) {
        SearchDialog form8(ctx.clock, adminWindow);
        // Closing the dialog without "OK" cancels the report.
        if (form8.exec() != QDialog::Accepted) return;
        search = form8.parameters();
    }
    showReport(ReportDefinition::forKind(kind, search), ctx, adminWindow);
}

void showReport(const ReportDefinition& report, ConsoleContext& ctx, QWidget* window) {
    const PrinterPort& printer = ctx.printer ? *ctx.printer : PrinterPort::systemDefault();
    // The window's hourglass for the length of the report.
    Hourglass hourglass(window);

    // The file is already closed when a failure reaches the table, and the hourglass goes before
    // any box, so that the next report starts cleanly.
    Handler handler([&](const Failure& f) {
        hourglass.off();
        return FailureTable::apply(FailureTable::responseTo(FailureTable::Operation::Report, f), ctx.msg, ctx.exit);
    });
    handler.run([&] {
        ReportViewer::closeCurrent();
        qint64 count = 0;
        handler.step([&] { count = ReportWriter(ctx.database(), printer, ctx.clock.now().date()).write(report); });
        auto* viewer = new ReportViewer(ctx.msg, printer);
        // The font first: a change after loading would lay the whole text out twice.
        QFont font = viewer->textArea()->font();
        font.setFamily(QStringLiteral("Courier New"));
        viewer->textArea()->setFont(font);
        try {
            viewer->load(ReportFile::path());
        } catch (...) {
            delete viewer;
            throw;
        }
        viewer->textArea()->setToolTip(QString());
        viewer->setWindowTitle(report.captionPrefix + QString::number(count) + u')');
        viewer->show();
    });
}

} // namespace hv
