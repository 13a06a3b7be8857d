#pragma once

#include <QPageSize>
#include <QString>
#include <memory>

class QPrinter;

namespace hv {

// The default printer as the reports and the viewer see it: the system's real one, a PDF file
// standing in for it, or none at all. Accessing a printer that is not there raises failure 482.
class PrinterPort {
public:
    // The system's default printer, asked afresh at every access.
    static PrinterPort& systemDefault();
    // A printer with the given device name that writes every job to one PDF file.
    static PrinterPort pdfFile(const QString& path, const QString& deviceName = QStringLiteral("PDF Printer"),
                               const QPageSize& pageSize = QPageSize(QPageSize::Letter));
    // A system without a default printer.
    static PrinterPort none();

    // The default printer's device name; empty when there is none.
    QString deviceName() const;
    // Raises failure 482 when there is no usable default printer.
    void access() const;
    // A printer ready for one job on the default printer; raises failure 482 when there is none.
    std::unique_ptr<QPrinter> startJob(const QString& documentName) const;

private:
    enum class Mode { System, Pdf, None };
    explicit PrinterPort(Mode mode) : m_mode(mode) {}

    Mode m_mode;
    QString m_path;
    QString m_name;
    QPageSize m_pageSize;
};

} // namespace hv
