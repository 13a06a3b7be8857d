#include "platform/ReportFileAccess.h"

#include "Failure.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace hv {

namespace {

Failure fileFailure(const QString& what) {
    return Failure(code::PathFileAccess, QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(strerror(errno))));
}

const wchar_t* wide(const QString& s) {
    return reinterpret_cast<const wchar_t*>(s.utf16());
}

} // namespace

// The user's temporary folder (what the system answers without "Temp") belongs to that user
// alone, so no private folder is made inside it.
QString ReportFileAccess::defaultFolder() {
    return QDir::toNativeSeparators(QDir::tempPath());
}

ReportFileAccess::ReportFileAccess(const QString& path) {
    const QString name = QDir::toNativeSeparators(path);
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
        const Failure f = fileFailure(QStringLiteral("The report file is not a plain file"));
        discard();
        throw f;
    }
}

ReportFileAccess::~ReportFileAccess() {
    discard();
}

void ReportFileAccess::write(const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const int n = _write(m_fd, p, unsigned(std::min<qsizetype>(left, 1 << 30)));
        if (n < 0) throw fileFailure(QStringLiteral("Cannot write the report file"));
        p += n;
        left -= n;
    }
}

void ReportFileAccess::close() {
    if (m_fd < 0) return;
    const int fd = m_fd;
    m_fd = -1;
    if (_close(fd) != 0) throw fileFailure(QStringLiteral("Cannot close the report file"));
}

void ReportFileAccess::discard() {
    if (m_fd < 0) return;
    _close(m_fd);
    m_fd = -1;
}

} // namespace hv
