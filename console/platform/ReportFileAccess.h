#pragma once

#include <QByteArray>
#include <QString>

namespace hv {

// The report file as this platform opens, writes and closes it. One implementation per platform,
// chosen once in the console's CMakeLists.txt: platform/posix (POSIX calls; the shared temporary
// folder gets a folder of the user's own) and platform/windows (the C runtime's calls; the user's
// temporary folder is that user's alone). Every failure is raised as failure 75.
class ReportFileAccess {
public:
    // The folder the report goes into when the environment variable "Temp" names none.
    static QString defaultFolder();

    // Opens the file for a new report: created if missing, emptied if present, never written
    // through a link planted at its name.
    explicit ReportFileAccess(const QString& path);
    // Closes the file if still open, without a word.
    ~ReportFileAccess();
    ReportFileAccess(const ReportFileAccess&) = delete;
    ReportFileAccess& operator=(const ReportFileAccess&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Writes all of data.
    void write(const QByteArray& data);
    // Closes the file; raises the failure when the disk refuses what was written.
    void close();
    // Closes the file after a failure, which stays the one reported.
    void discard();

private:
    int m_fd = -1;
};

} // namespace hv
