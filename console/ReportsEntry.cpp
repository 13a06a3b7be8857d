#include "ReportsEntry.h"

#include "ConsoleContext.h"
#include "Handler.h"
#include "PrinterPort.h"
#include "ReportDefinition.h"
#include "ReportFile.h"
#include "ReportPrinter.h"
#include "ReportViewer.h"
#include "ReportWriter.h"
#include "SearchDialog.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QWidget>

namespace {

// The administration window's hourglass for the length of a report, given back on every way out.
struct Hourglass {
    explicit Hourglass(QWidget* w) : window(w) {
        if (window) window->setCursor(Qt::WaitCursor);
    }
    ~Hourglass() { restore(); }
    void restore() {
        if (window) window->unsetCursor();
    }
    QPointer<QWidget> window;
};

} // namespace

void runReport(ReportKind kind, ConsoleContext& ctx, QWidget* adminWindow) {
    SearchParameters search;
    if (kind == ReportKind::SearchWithDateRange) {
        SearchDialog form8(ctx.clock, adminWindow);
        // Closing the dialog without "OK" cancels the report.
        if (form8.exec() != QDialog::Accepted) return;
        search = form8.parameters();
    }

    const PrinterPort& printer = ctx.printer ? *ctx.printer : PrinterPort::systemDefault();
    Hourglass hourglass(adminWindow);

    hv::Handler handler([&](const hv::Failure& f) {
        if (f.number() == hv::code::PrinterError) {
            hourglass.restore();
            ctx.msg.show(ReportPrinter::kErrorTitle, ReportPrinter::kErrorText, hv::Buttons::Ok, hv::Icon::Critical);
        }
        // Any other failure ends the report without a word; the file is already closed and the
        // hourglass goes when this handler returns, so the next report starts cleanly.
        return hv::Reaction::EndHandler;
    });
    handler.run([&] {
        ReportViewer::closeCurrent();
        const ReportDefinition report = ReportDefinition::forKind(kind, search);
        qint64 count = 0;
        handler.step(
            [&] { count = ReportWriter(ctx.connectionString(), printer, ctx.clock.now().date()).write(report); });

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
