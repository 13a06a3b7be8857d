#include "reports/ReportFile.h"

#include "Failure.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

// The report file on Windows. The user's temporary folder (what "Temp" names, and what the system
// answers without it) belongs to that user alone, so no private folder is made inside it.

namespace {

constexpr qsizetype kFlushAt = 256 * 1024;

hv::Failure fileFailure(const QString& what) {
    return hv::Failure(hv::code::PathFileAccess,
                       QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(strerror(errno))));
}

const wchar_t* wide(const QString& s) {
    return reinterpret_cast<const wchar_t*>(s.utf16());
}

} // namespace

namespace hv {

QString ReportFile::path() {
    const QString temp = qEnvironmentVariable("Temp");
    const QString folder = temp.isEmpty() ? QDir::toNativeSeparators(QDir::tempPath()) : temp;
    return folder + QDir::separator() + QStringLiteral("report.txt");
}

ReportFile::ReportFile() {
    const QString name = QDir::toNativeSeparators(path());
    // A link or junction where the report belongs is removed, never written through.
    const DWORD attributes = GetFileAttributesW(wide(name));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        !DeleteFileW(wide(name)) && !RemoveDirectoryW(wide(name))) {
        errno = EACCES;
        throw fileFailure(QStringLiteral("Cannot remove the link at the report file"));
    }
    m_fd = _wopen(wide(name), _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (m_fd < 0) throw fileFailure(QStringLiteral("Cannot open the report file"));
    struct _stat64 st {};
    if (_fstat64(m_fd, &st) != 0 || (st.st_mode & _S_IFREG) == 0 || _chsize_s(m_fd, 0) != 0) {
        const hv::Failure f = fileFailure(QStringLiteral("The report file is not a plain file"));
        _close(m_fd);
        m_fd = -1;
        throw f;
    }
    m_buffer.reserve(kFlushAt + 4096);
}

ReportFile::~ReportFile() {
    // After a failure the lines written so far still reach the file.
    if (m_fd >= 0) {
        try {
            close();
        } catch (const hv::Failure&) {
        }
    }
}

void ReportFile::writeLine(const QString& line) {
    m_buffer += line.toUtf8();
    m_buffer += "\r\n";
    if (m_buffer.size() >= kFlushAt) flush();
}

void ReportFile::flush() {
    const char* p = m_buffer.constData();
    qsizetype left = m_buffer.size();
    while (left > 0) {
        const int n = _write(m_fd, p, unsigned(std::min<qsizetype>(left, 1 << 30)));
        if (n < 0) throw fileFailure(QStringLiteral("Cannot write the report file"));
        p += n;
        left -= n;
    }
    m_buffer.clear();
}

void ReportFile::close() {
    if (m_fd < 0) return;
    const int fd = m_fd;
    try {
        flush();
    } catch (...) {
        m_fd = -1;
        _close(fd);
        throw;
    }
    m_fd = -1;
    if (_close(fd) != 0) throw fileFailure(QStringLiteral("Cannot close the report file"));
}

} // namespace hv
