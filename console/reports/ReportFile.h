#pragma once

#include "platform/ReportFileAccess.h"

#include <QByteArray>
#include <QString>

namespace hv {

// The one report file that every report writes and the viewer reads: "report.txt" in the folder
// named by the environment variable "Temp", plain text with CR LF line ends (UTF-8 here).
class ReportFile {
public:
    // Where the report goes; without "Temp", in the platform's folder for it (ReportFileAccess).
    static QString path();

    // Opens the file for a new report: created if missing, emptied if present. Never writes
    // through a link planted at the file's name. Raises failure 75 when the file cannot be opened.
    ReportFile();
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    void writeLine(const QString& line);
    // Writes what is buffered and closes the file; raises failure 75 when the disk refuses it.
    void close();

private:
    void flush();

    ReportFileAccess m_file;
    QByteArray m_buffer;
};

} // namespace hv
