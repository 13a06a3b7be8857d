#include "reports/PrinterPort.h"

#include "Failure.h"

#include <QPrinter>
#include <QPrinterInfo>

namespace hv {

namespace {

Failure noPrinter() {
    return Failure(code::PrinterError, QStringLiteral("No default printer"));
}

} // namespace

PrinterPort& PrinterPort::systemDefault() {
    static PrinterPort port(Mode::System);
    return port;
}

PrinterPort PrinterPort::pdfFile(const QString& path, const QString& deviceName, const QPageSize& pageSize) {
    PrinterPort p(Mode::Pdf);
    p.m_path = path;
    p.m_name = deviceName;
    p.m_pageSize = pageSize;
    return p;
}

PrinterPort PrinterPort::none() {
    return PrinterPort(Mode::None);
}

QString PrinterPort::deviceName() const {
    switch (m_mode) {
    case Mode::System:
        // A plain QPrinter claims to be valid even without any printer; only the printer list knows.
        return QPrinterInfo::defaultPrinter().printerName();
    case Mode::Pdf:
        return m_name;
    case Mode::None:
        break;
    }
    return {};
}

void PrinterPort::access() const {
    if (deviceName().isEmpty()) throw noPrinter();
}

std::unique_ptr<QPrinter> PrinterPort::startJob(const QString& documentName) const {
    std::unique_ptr<QPrinter> printer;
    switch (m_mode) {
    case Mode::System: {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull()) throw noPrinter();
        printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
        break;
    }
    case Mode::Pdf:
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(m_path);
        printer->setPageSize(m_pageSize);
        break;
    case Mode::None:
        throw noPrinter();
    }
    printer->setDocName(documentName);
    return printer;
}

} // namespace hv
