#include "reports/ReportPrinter.h"

#include "Failure.h"
#include "reports/PrinterPort.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace hv {

namespace {

Failure printerFailure(const QString& what) {
    return Failure(code::PrinterError, what);
}

} // namespace

void ReportPrinter::fncPrintRichText(const QTextDocument& text, const QFont& font, int leftMargin, int topMargin,
                                     int rightMargin, int bottomMargin, const QString& documentName) const {
    std::unique_ptr<QPrinter> printer = m_printer.startJob(documentName);
    // Full-page mode puts the painter's origin on the paper's corner, so margins count from the
    // paper's edges and the printer's unprintable border plays no part.
    printer->setFullPage(true);

    QPainter painter;
    if (!painter.begin(printer.get())) throw printerFailure(QStringLiteral("The printer refused the print job"));

    const qreal perTwip = printer->resolution() / 1440.0;
    const QRectF paper = printer->paperRect(QPrinter::DevicePixel);
    const QRectF area(leftMargin * perTwip, topMargin * perTwip, paper.width() - (leftMargin + rightMargin) * perTwip,
                      paper.height() - (topMargin + bottomMargin) * perTwip);

    const QFont printFont(font, printer.get());
    const QFontMetricsF metrics(printFont, printer.get());
    const qreal lineSpacing = metrics.lineSpacing();
    const int linesPerPage = area.height() > 0 && area.width() > 0 ? int(area.height() / lineSpacing) : 0;
    if (linesPerPage < 1) {
        // Not one line fits: a page loop would never get past the first page.
        printer->abort();
        painter.end();
        throw printerFailure(QStringLiteral("The margins leave no room for a line of text"));
    }
    painter.setFont(printFont);
    painter.setPen(Qt::black);

    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    const QTextBlock last = text.lastBlock();
    int lineOnPage = 0;
    for (QTextBlock block = text.begin(); block.isValid(); block = block.next()) {
        // The line break that ends the report ends its last line; it starts no line of its own.
        if (block == last && block.length() <= 1 && block != text.begin()) break;
        QTextLayout layout(block.text(), printFont, printer.get());
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(area.width());
            line.setPosition(QPointF(0, 0));
        }
        layout.endLayout();
        for (int i = 0; i < layout.lineCount(); ++i) {
            if (lineOnPage == linesPerPage) {
                if (!printer->newPage()) throw printerFailure(QStringLiteral("The printer refused a new page"));
                lineOnPage = 0;
            }
            layout.lineAt(i).draw(&painter, QPointF(area.left(), area.top() + lineOnPage * lineSpacing));
            ++lineOnPage;
        }
    }
    if (!painter.end()) throw printerFailure(QStringLiteral("The print job could not be finished"));
}

} // namespace hv
