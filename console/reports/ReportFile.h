#pragma once

#include <QByteArray>
#include <QString>

namespace hv {

// The one report file that every report writes and the viewer reads: "report.txt" in the folder
// named by the environment variable "Temp", plain text with CR LF line ends (UTF-8 here).
class ReportFile {
public:
    // Where the report goes. Without "Temp" the system's temporary folder is shared by every user,
    // so the file goes into a folder of the user's own there, readable by nobody else.
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
    bool isOpen() const { return m_fd >= 0; }

private:
    void flush();

    int m_fd = -1;
    QByteArray m_buffer;
};

} // namespace hv
