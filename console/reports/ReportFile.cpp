#include "reports/ReportFile.h"

#include "Failure.h"

#include <QDir>

namespace hv {

namespace {
constexpr qsizetype kFlushAt = 256 * 1024;
}

QString ReportFile::path() {
    const QString temp = qEnvironmentVariable("Temp");
    const QString folder = temp.isEmpty() ? ReportFileAccess::defaultFolder() : temp;
    return folder + QDir::separator() + QStringLiteral("report.txt");
}

ReportFile::ReportFile() : m_file(path()) {
    m_buffer.reserve(kFlushAt + 4096);
}

ReportFile::~ReportFile() {
    // After a failure the lines written so far still reach the file.
    if (m_file.isOpen()) {
        try {
            close();
        } catch (const Failure&) {
        }
    }
}

void ReportFile::writeLine(const QString& line) {
    m_buffer += line.toUtf8();
    m_buffer += "\r\n";
    if (m_buffer.size() >= kFlushAt) flush();
}

void ReportFile::flush() {
    m_file.write(m_buffer);
    m_buffer.clear();
}

void ReportFile::close() {
    if (!m_file.isOpen()) return;
    try {
        flush();
    } catch (...) {
        m_file.discard();
        throw;
    }
    m_file.close();
}

} // namespace hv
