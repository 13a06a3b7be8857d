#pragma once

#include <QFont>
#include <QString>

class QTextDocument;

namespace hv {

class PrinterPort;

// fncPrintRichText: prints a text on the default printer, page after page, inside margins that
// are measured from the paper's edges whatever the printer's unprintable border.
class ReportPrinter {
public:
    explicit ReportPrinter(const PrinterPort& printer) : m_printer(printer) {}

    // Margins in twips (1/1440 inch). Lines wider than the space between the margins wrap; each
    // page holds as many whole lines as fit; no header, footer or page number. Raises failure 482
    // when the printer cannot be used or the job fails, and when not even one line fits a page.
    void fncPrintRichText(const QTextDocument& text, const QFont& font, int leftMargin, int topMargin, int rightMargin,
                          int bottomMargin, const QString& documentName) const;

private:
    const PrinterPort& m_printer;
};

} // namespace hv
